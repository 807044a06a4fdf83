/* usbcan: our USB-CAN adapter library. It exports the adapter interface tacmon binds through
 * its import table: hardware and CAN channel set-up, one packed 18-byte message record, writes,
 * reads and a reception callback. Two backends are chosen at run time from the environment
 * (see README.md): SocketCAN (USBCAN_SOCKETCAN=can0) and the simulated instrument on a local
 * socket (USBCAN_SIM=/path/to/socket). Plain C interface; depends on nothing of tacmon. */
#ifndef USBCAN_H
#define USBCAN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define USBCAN_API __attribute__((visibility("default")))

typedef uint8_t tUcanHandle; /* 0: no adapter */
typedef uint8_t UCANRET;     /* 0 success; error codes below */

#define USBCAN_SUCCESSFUL 0
#define USBCAN_ERR_RESOURCE 1
#define USBCAN_ERR_MAXMODULES 2
#define USBCAN_ERR_HWINUSE 3
#define USBCAN_ERR_ILLVERSION 4
#define USBCAN_ERR_ILLHW 5
#define USBCAN_ERR_ILLHANDLE 6
#define USBCAN_ERR_ILLPARAM 7
#define USBCAN_ERR_BUSY 8
#define USBCAN_ERR_TIMEOUT 9
#define USBCAN_ERR_IOFAILED 10
#define USBCAN_ERR_DLL_TXFULL 11
#define USBCAN_ERR_MAXINSTANCES 12
#define USBCAN_ERR_CANNOTINIT 13
#define USBCAN_ERR_DISCONNECT 14
#define USBCAN_ERRCMD_NOTINIT 72
#define USBCAN_ERRCMD_ALREADYINIT 73
#define USBCAN_WARN_NODATA 0x80 /* a read found no message waiting */

#define USBCAN_ANY_MODULE 255

/* Events of the reception callback. */
#define USBCAN_EVENT_INITHW 0
#define USBCAN_EVENT_INITCAN 1
#define USBCAN_EVENT_RECEIVE 2

#pragma pack(push, 1)
/* One CAN message: identifier, frame format (0 standard), data length, data, time stamp (ms). */
typedef struct {
  uint32_t m_dwID;
  uint8_t m_bFF;
  uint8_t m_bDLC;
  uint8_t m_bData[8];
  uint32_t m_dwTime;
} tCanMsgStruct;

/* Hardware information; the serial number lies at byte offset 18. */
typedef struct {
  uint32_t m_dwSize;
  tUcanHandle m_UcanHandle;
  uint8_t m_bDeviceNr;
  uint8_t m_bReserved[12];
  uint32_t m_dwSerialNr;
  uint32_t m_dwFwVersionEx;
  uint32_t m_dwProductCode;
} tUcanHardwareInfo;
#pragma pack(pop)

/* Called on the library's reception thread (events 2) or on the caller's thread during the
 * initialisation calls (events 0 and 1). */
typedef void (*tCallbackFkt)(tUcanHandle handle, uint8_t event);

USBCAN_API UCANRET UcanInitHardware(tUcanHandle* handle, uint8_t deviceNr, tCallbackFkt callback);
USBCAN_API UCANRET UcanInitCan(tUcanHandle handle, uint8_t btr0, uint8_t btr1, uint32_t mask,
                               uint32_t code);
USBCAN_API UCANRET UcanGetHardwareInfo(tUcanHandle handle, tUcanHardwareInfo* info);
USBCAN_API UCANRET UcanWriteCanMsg(tUcanHandle handle, tCanMsgStruct* msg);
USBCAN_API UCANRET UcanReadCanMsg(tUcanHandle handle, tCanMsgStruct* msg);
USBCAN_API UCANRET UcanResetCan(tUcanHandle handle);
USBCAN_API UCANRET UcanDeinitCan(tUcanHandle handle);
USBCAN_API UCANRET UcanDeinitHardware(tUcanHandle handle);

#ifdef __cplusplus
}
#endif

#endif /* USBCAN_H */
