/* vigil: the recognition library tacmon binds like a vendor library. It looks at the frames of
 * a push (19 normalized sensor values each) and answers through two callbacks with an alert:
 * 19 colour indices (the contrast of each sensor against the pressure field around it) and a
 * short CP1251 text naming the sensors over a firm inclusion. Plain C interface; nothing of
 * tacmon is linked. See README.md beside this header. */
#ifndef VIGIL_H
#define VIGIL_H

#ifdef __cplusplus
extern "C" {
#endif

#define VIGIL_SENSORS 19
/* Data ids of SetVigilLibAddData: the data is the callback's address, the size the size of a
 * function pointer on this platform. */
#define VIGIL_ALERT_VALUES 1
#define VIGIL_ALERT_TEXT 2

/* Results: 0 done; VIGIL_NO_INSTANCE for a handle that is none, unknown or finished;
 * VIGIL_REFUSED for an argument the library cannot use (it is logged). */
#define VIGIL_NO_INSTANCE (-1)
#define VIGIL_REFUSED (-2)

typedef void (*VigilLogCallback)(const char* text);
/* Alert callbacks: context as given to FInitVigilLib; values points to 19 ints 0..255. */
typedef int (*VigilValuesCallback)(void* context, const int* values);
typedef int (*VigilTextCallback)(void* context, const char* text);

/* Opens an instance. dataRoot is the program's folder ("c:\Tacmon\" or a host path) holding
 * the thresholds file "vigil.txt" (null: the defaults hold); log may be null. Returns the
 * handle, or null. */
void* FInitVigilLib(void* context, const char* dataRoot, const char* databaseRoot,
                    VigilLogCallback log);
int SetVigilLibAddData(void* handle, int dataId, void* data, int size);
int FVigilLibStartPush(void* handle);
/* One frame: normalized values (19), raw values (19, may be null), label count, packet index,
 * ms since the push (re)started. The same frame given again is not counted twice. */
int FCallVigilLib(void* handle, int* normalized, int* raw, int labelCount, int packetIndex,
                  int elapsedMs);
int FVigilLibStopPush(void* handle);
/* Ends the instance: once it returns no callback of it runs and its handle is refused. */
void FFinishVigilLib(void* handle);

#ifdef __cplusplus
}
#endif

#endif
