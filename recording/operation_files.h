// What an operation keeps on disk and in the stationary database, free of windows: the
// description file "patient.bin", the names of operation folders and pushes, the window title,
// the supply voltage text and the operation record built from a description.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/push.h"
#include "platform/cp1251.h"
#include "records/operation_description.h"

struct operation_item;
struct doctor_item;
struct user_item;
struct push_list;

namespace recording {

inline constexpr int32_t kPatientFileVersion = 208;
inline constexpr int32_t kPatientFileOldest = 201;
inline constexpr const char* kPatientFileName = "patient.bin";
inline constexpr const char* kOperationsFolder = "c:\\Tacmon\\OPERATIONS\\";

// Result codes of the reader.
inline constexpr int kPatientOk = 0;
inline constexpr int kPatientCannotOpen = -1;
inline constexpr int kPatientBadField = -2;
inline constexpr int kPatientBadVersion = -3;
inline constexpr int kPatientBadNotes = -4;
inline constexpr int kPatientBadHospital = -5;

// "patient.bin" bytes of version 208.
std::string EncodePatientFile(const OperationDescription& d);
// Reads bytes of versions 201..208 into d; fields absent from the version keep their values.
// On any failure d is left as it was.
int DecodePatientFile(OperationDescription& d, std::string_view bytes);
int ReadPatientFile(OperationDescription& d, std::string_view winPath);
int WritePatientFile(const OperationDescription& d, std::string_view winPath);  // 0 or -1

// "%d.%2.2d.%2.2d_%2.2d-%2.2d" from a start date-time (year, month, day, hour, minute, ...).
Text1251 NewOperationName(const std::array<int32_t, 12>& times);
// "GL_%d.%2.2d.%2.2d_%2.2d-%2.2d-%2.2d", with "_v%d" when version >= 2.
Text1251 StationaryOperationName(const int16_t time[6], int version = 0);
// The operation name of a row of the folder list: up to the first blank or tab.
Text1251 OperationNameOfRow(std::string_view row);
// c:\Tacmon\OPERATIONS\<name>
Text1251 OperationFolderOf(std::string_view name);
// "Запись операции <%s>. (%s)[%s %s %s]. Нажатие:%s"
Text1251 OperationTitle(const Text1251& name, const Text1251& organ, const OperationDescription& d,
                        const Text1251& pushName);
// The folder list row: name + " (%s %s %s; %s)".
Text1251 OperationRow(const Text1251& name, const OperationDescription& d, const Text1251& organ);

// The status text of the recording view for frame 0 of the live push in a wire format.
Text1251 SupplyVoltageText(int format, const SensorFrame& frame);

// Copies at most size - 1 bytes and a terminator into a fixed field.
void CopyFixed(char* field, size_t size, std::string_view text);

// An operation record (version 3) of a description; the surgeon's names when given.
// Diagnosis and Notes are malloc copies that the caller frees after adding the record.
void FillOperationItem(operation_item& item, const OperationDescription& d,
                       const doctor_item* surgeon);
// The description's patient part from a patient record.
void CopyPatientInto(OperationDescription& d, const user_item& patient);

}  // namespace recording

namespace recording {

// One push of an operation folder as the window stores it.
struct FolderPush {
  Text1251 fileName;      // full Windows path of the ".psh"
  Text1251 comment;       // empty: none
  int64_t startTime = 0;  // when its recording began (seconds since 1970); 0: not known
};

// The ".psh" files of a folder, oldest name first.
std::vector<FolderPush> ListFolderPushes(std::string_view folder);

// Reads one push file and adds it to the pushes database for the operation: true when stored.
// A failure is logged with the push's file name.
bool StorePushInDatabase(push_list* pushes, int operationId, const FolderPush& push);

// Writes every push of the operation in the database into folder as "hh-mm-ss.psh" (from the
// push's time; "_2", "_3" ... when the name is taken). The number written.
int ExportOperationPushes(push_list* pushes, int operationId, std::string_view folder);

}  // namespace recording
