/* The local-socket protocol between usbcan's simulator backend and the simulated instrument
 * (sim/tacinstrument). One SOCK_SEQPACKET connection per open adapter; every packet starts with
 * a kind byte.
 *   adapter -> instrument: 'I' init hardware; 'C' btr0 btr1 init CAN; 'W' + message write;
 *                          'X' reset CAN; 'D' deinit CAN. Each is answered with one 'R'.
 *   instrument -> adapter: 'R' code(u8) value(u32 LE: the serial number for 'I');
 *                          'M' + message: a received CAN message. */
#ifndef USBCAN_SIM_PROTOCOL_H
#define USBCAN_SIM_PROTOCOL_H

#define USBCAN_SIM_INIT 'I'
#define USBCAN_SIM_INITCAN 'C'
#define USBCAN_SIM_WRITE 'W'
#define USBCAN_SIM_RESET 'X'
#define USBCAN_SIM_DEINITCAN 'D'
#define USBCAN_SIM_REPLY 'R'
#define USBCAN_SIM_MESSAGE 'M'
#define USBCAN_SIM_REPLY_SIZE 6
#define USBCAN_SIM_MESSAGE_SIZE 19 /* kind + the 18-byte message record */

#endif
