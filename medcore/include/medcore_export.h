#ifndef MEDCORE_EXPORT_H
#define MEDCORE_EXPORT_H

/* Marks the functions that libmedcore exports; everything else stays hidden. */
#if defined(MEDCORE_BUILDING)
#define MEDCORE_EXPORT __attribute__((visibility("default")))
#else
#define MEDCORE_EXPORT
#endif

#endif /* MEDCORE_EXPORT_H */
