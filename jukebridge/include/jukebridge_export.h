#ifndef JUKEBRIDGE_EXPORT_H
#define JUKEBRIDGE_EXPORT_H

/* Marks the functions that libjukebridge exports; everything else stays hidden. */
#if defined(JUKEBRIDGE_BUILDING)
#define JUKEBRIDGE_EXPORT __attribute__((visibility("default")))
#else
#define JUKEBRIDGE_EXPORT
#endif

#endif /* JUKEBRIDGE_EXPORT_H */
