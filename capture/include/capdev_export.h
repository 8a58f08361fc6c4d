#ifndef CAPDEV_EXPORT_H
#define CAPDEV_EXPORT_H

/* Marks the functions that libcapdev exports; everything else stays hidden. */
#if defined(CAPDEV_BUILDING)
#define CAPDEV_EXPORT __attribute__((visibility("default")))
#else
#define CAPDEV_EXPORT
#endif

#endif /* CAPDEV_EXPORT_H */
