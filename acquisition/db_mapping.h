// How a push and its passport travel in the clinical database: a Push to and from a medstore
// push record (frames, aux words, times, labels, notes), and a passport to and from the
// 20000-byte DeviceData block of such a record. Uses the shared record structures only.
#pragma once

#include "acquisition/push.h"
#include "medstore/medstore.h"

inline constexpr int kDeviceDataVersion = 124;
inline constexpr int kDeviceDataUsed = 6936;  // bytes from here to the end stay 0

// Fills record from push. The record's owned parts (frames, labels, notes) are allocated with
// malloc as medstore expects; record must not own anything yet (zero it, or release it with
// ReleasePushRecord first). notes: the push description's comment, or empty for none.
void PushToDatabase(push_item& record, const Push& push, int operationId,
                    const Text1251& notes = {});
// Fills push from record: frames from Press and RawPress, labels, times and the passport
// (fields an older DeviceData block lacks keep the values push.passport had).
void PushFromDatabase(Push& push, const push_item& record);
// Frees what a record owns (frame values, labels, notes) and zeroes those fields.
void ReleasePushRecord(push_item& record);

// block: MEDSTORE_DEVICE_DATA_SIZE bytes. Both return 0.
int PassportToDeviceData(unsigned char* block, const DevicePassport& passport);
int PassportFromDeviceData(const unsigned char* block, DevicePassport& passport);
