/* medstore: the clinical database library. Patients, surgeons, operations, pushes and devices,
 * one text record file per record in a directory named by the record's id, read into doubly
 * linked lists when a database is opened. The structures below are shared by the library and
 * its callers: they walk `head`/`next` directly. Plain C interface; texts are CP1251 bytes.
 *
 * Memory: everything the library frees (items, owned texts, frame arrays, label comments,
 * file lists) is allocated with malloc. An item passed to Add/Edit stays the caller's (it is
 * copied); an item reached through a list belongs to the list; search results belong to the
 * caller until released by the same search called with a null first argument.
 *
 * Ids: a new id is claimed by creating its record directory exclusively, so several
 * workstations can share one database folder; the highest id ever handed out is kept in the
 * file "medstore_last_id" of the database folder, so ids of deleted records never come back.
 *
 * Results: 0 done, 1 refused or only partly done (a message was given), -1 out of memory. */
#ifndef MEDSTORE_MEDSTORE_H
#define MEDSTORE_MEDSTORE_H

#include <stdint.h>

#if defined(_WIN32)
#define MEDSTORE_API __declspec(dllexport)
#else
#define MEDSTORE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define MEDSTORE_ITEM_VERSION 3
#define MEDSTORE_MAX_ORGANS 10
#define MEDSTORE_MAX_DIAGNOSES 10
#define MEDSTORE_DEVICE_DATA_SIZE 20000
#define MEDSTORE_DEVICE_VALUES 128

typedef void (*medstore_report_fn)(const char* message);
/* Name compare (type 1 of SetAdd*Data): returns 1 when name matches pattern. */
typedef int (*medstore_compare_fn)(const char* pattern, const char* name);
/* Directory remover (type 2 of SetAdd*Data): returns 0 on success. */
typedef int (*medstore_remove_tree_fn)(const char* path);

/* Additional files of a record, "id/name", newest in front. */
typedef struct file_item {
  char* name;
  struct file_item* next;
} file_item;

typedef struct file_list {
  file_item* head;
} file_list;

/* Private to the library: the id index kept beside each list. */
struct medstore_index;

/* ---- patients ---- */
typedef struct user_item {
  uint32_t size;
  uint32_t version;
  char FIO[3][64]; /* family name, first name, patronymic */
  int32_t idFIO;
  int32_t Sex; /* 0 unknown, 1 male, 2 female */
  int32_t Birthday[3]; /* year, month, day */
  int32_t idOrgan[MEDSTORE_MAX_ORGANS];
  int32_t NidOrgans; /* 0..10 */
  char Organ[MEDSTORE_MAX_ORGANS][100];
  int32_t idDiagnosis[MEDSTORE_MAX_ORGANS][MEDSTORE_MAX_DIAGNOSES]; /* a 0 ends a row */
  char* Diagnosis; /* owned, or null */
  char* Notes;     /* owned, or null */
  struct user_item* prev;
  struct user_item* next;
  file_list* files;
  int32_t UserNumber;
  char UserCard[128];
} user_item;

/* ---- surgeons ---- */
typedef struct doctor_item {
  uint32_t size;
  uint32_t version;
  char FIO[3][64];
  int32_t idFIO;
  struct doctor_item* next;
  struct doctor_item* prev;
  file_list* files;
} doctor_item;

/* ---- operations ---- */
typedef struct operation_item {
  uint32_t size;
  uint32_t version;
  int32_t ID;
  int16_t Time[6]; /* year, month, day, hour, minute, second */
  char FIO_patient[3][64];
  int32_t idFIO_patient;
  char FIO_doctor[3][64];
  int32_t idFIO_doctor;
  int32_t TypeMechReceptor;
  int32_t SubTypeMechReceptor;
  int32_t idOrgan;
  char Organ[100];
  int32_t idDiagnosis[MEDSTORE_MAX_DIAGNOSES]; /* a 0 ends the list */
  char* Diagnosis;
  char* Notes;
  struct operation_item* prev;
  struct operation_item* next;
  file_list* files;
} operation_item;

/* ---- pushes ---- */
/* One frame: HeadNum values (in Press) or RawNum values (in RawPress), and its time
 * (year, month, day, hour, minute, second, millisecond). */
typedef struct push_frame {
  int32_t* Values; /* owned, malloc */
  int16_t Time[7];
} push_frame;

typedef struct push_label {
  int32_t Type;
  int32_t ElementaryPush; /* index of the frame the label marks */
  char* Comment;          /* owned, may be empty or null */
} push_label;

typedef struct push_item {
  uint32_t size;
  uint32_t version;
  int32_t ID;
  int32_t OperationID;
  int32_t DeviceID;
  char DeviceIDTxt[32];
  int16_t Time[7]; /* year, month, day, hour, minute, second, millisecond */
  int32_t DT;
  int32_t HeadNum; /* values per frame in Press; default 19 */
  int32_t RawNum;  /* values per frame in RawPress; default 26 */
  int32_t NPress;  /* number of frames in Press (and RawPress when present) */
  push_frame* Press;    /* NPress entries, or null */
  push_frame* RawPress; /* NPress entries, or null */
  char* Notes;
  struct push_item* prev;
  struct push_item* next;
  file_list* files;
  unsigned char DeviceData[MEDSTORE_DEVICE_DATA_SIZE];
  int32_t NLabels;
  push_label* Labels; /* NLabels entries, or null */
} push_item;

/* ---- devices ---- */
typedef struct device_item {
  uint32_t size;
  uint32_t version;
  int32_t ID;
  int32_t Type;
  char InitString[128];
  int32_t NSensors; /* default 19 */
  int32_t Max;
  int32_t Properties[MEDSTORE_DEVICE_VALUES];
  int32_t DeviceNumber;
  char DeviceID[32];
  int32_t Date[6];
  int32_t RefNumber;
  double Slopes[MEDSTORE_DEVICE_VALUES];
  double Shifts[MEDSTORE_DEVICE_VALUES];
  double NoiseLevel[MEDSTORE_DEVICE_VALUES];
  double RefSlopes;
  double RefShifts;
  struct device_item* next;
  struct device_item* prev;
  file_list* files;
} device_item;

/* ---- lists (the database handles) ----
 * `path` is the database directory, null for created and result lists; `last_id` the highest
 * id read or assigned; `index` belongs to the library (lists are made only by the library). */
typedef struct user_list {
  user_item* head;
  user_item* tail;
  char* path;
  int32_t last_id;
  medstore_report_fn report;
  medstore_compare_fn compare;
  medstore_remove_tree_fn remove_tree;
  struct medstore_index* index;
} user_list;

typedef struct doctor_list {
  doctor_item* head;
  doctor_item* tail;
  char* path;
  int32_t last_id;
  medstore_report_fn report;
  medstore_compare_fn compare;
  medstore_remove_tree_fn remove_tree;
  struct medstore_index* index;
} doctor_list;

typedef struct operation_list {
  operation_item* head;
  operation_item* tail;
  char* path;
  int32_t last_id;
  medstore_report_fn report;
  medstore_compare_fn compare;
  medstore_remove_tree_fn remove_tree;
  struct medstore_index* index;
} operation_list;

typedef struct push_list {
  push_item* head;
  push_item* tail;
  char* path;
  int32_t last_id;
  medstore_report_fn report;
  medstore_compare_fn compare;
  medstore_remove_tree_fn remove_tree;
  struct medstore_index* index;
} push_list;

typedef struct device_list {
  device_item* head;
  device_item* tail;
  char* path;
  int32_t last_id;
  medstore_report_fn report;
  medstore_remove_tree_fn remove_tree;
  struct medstore_index* index;
} device_list;

/* ---- search masks (filters are on only when their flag is exactly 1) ---- */
typedef struct operation_search_mask {
  uint32_t size; /* 716 */
  uint32_t version;
  int16_t time_from[6];
  int16_t time_to[6];
  int32_t use_time;
  char fio[3][64];
  int32_t use_fio;
  int32_t patient_id;
  int32_t use_patient_id;
  int32_t doctor_id;
  int32_t use_doctor_id;
  int32_t use_type;
  int32_t reserved1;
  int32_t use_subtype;
  int32_t reserved2;
  int32_t organs[MEDSTORE_MAX_ORGANS];
  int32_t organ_count;
  int32_t use_organs;
  int32_t diagnoses[MEDSTORE_MAX_ORGANS][MEDSTORE_MAX_DIAGNOSES];
  int32_t use_diagnoses;
} operation_search_mask;

typedef struct user_search_mask {
  uint32_t size;
  uint32_t version;
  char fio[3][64];
  int32_t use_fio;
  int32_t sex;
  int32_t birthday_from[3];
  int32_t birthday_to[3];
  int32_t use_birthday;
  int32_t organs[MEDSTORE_MAX_ORGANS];
  int32_t organ_count;
  int32_t use_organs;
  int32_t diagnoses[MEDSTORE_MAX_ORGANS][MEDSTORE_MAX_DIAGNOSES];
  int32_t use_diagnoses;
  int32_t user_number;
  int32_t use_user_number;
  char user_card[128];
  int32_t use_user_card;
} user_search_mask;

/* ---- opening and closing ---- */
MEDSTORE_API user_list* InitUserDB(char* path, medstore_report_fn report);
MEDSTORE_API doctor_list* InitDoctorDB(char* path, medstore_report_fn report);
MEDSTORE_API operation_list* InitOperationDB(char* path, medstore_report_fn report);
MEDSTORE_API push_list* InitPushDB(char* path, medstore_report_fn report);
MEDSTORE_API device_list* InitDeviceDB(char* path, medstore_report_fn report);

MEDSTORE_API void CloseUserDB(user_list* list);
MEDSTORE_API void CloseDoctorDB(doctor_list* list);
MEDSTORE_API void CloseOperationDB(operation_list* list);
MEDSTORE_API void ClosePushDB(push_list* list);
MEDSTORE_API void CloseDeviceDB(device_list* list);

/* ---- lookups (the item stays owned by the list) ---- */
MEDSTORE_API user_item* GetPatientByID(int id, user_list* list);
MEDSTORE_API doctor_item* GetDoctorByID(int id, doctor_list* list);
MEDSTORE_API operation_item* GetOperationByID(int id, operation_list* list);
/* operationId 0 matches any operation. */
MEDSTORE_API push_item* GetPushByID(int operationId, int pushId, push_list* list);
MEDSTORE_API device_item* GetDeviceByID(int id, device_list* list);

/* ---- changes (memory and disk at once) ---- */
MEDSTORE_API int AddPatient(user_item* item, user_list* list);
MEDSTORE_API int AddDoctor(doctor_item* item, doctor_list* list);
MEDSTORE_API int AddOperation(operation_item* item, operation_list* list);
MEDSTORE_API int AddPush(push_item* item, push_list* list);
MEDSTORE_API int AddDevice(device_item* item, device_list* list);

MEDSTORE_API int EditPatient(int id, user_item* item, user_list* list);
MEDSTORE_API int EditDoctor(int id, doctor_item* item, doctor_list* list);
MEDSTORE_API int EditOperation(int id, operation_item* item, operation_list* list);
MEDSTORE_API int EditPush(int id, push_item* item, push_list* list);
MEDSTORE_API int EditDevice(int id, device_item* item, device_list* list);

MEDSTORE_API int DelPatient(int id, user_list* list);
MEDSTORE_API int DelDoctor(int id, doctor_list* list);
MEDSTORE_API int DelOperation(int id, operation_list* list);
MEDSTORE_API int DelPush(int id, push_list* list);
MEDSTORE_API int DelDevice(int id, device_list* list);

/* type 1: data is a medstore_compare_fn; type 2: data is a medstore_remove_tree_fn.
 * size is not used. Returns 0, or 1 for a null list or an unknown type. */
MEDSTORE_API int SetAddUserData(int type, void* data, int size, user_list* list);
MEDSTORE_API int SetAddDoctorData(int type, void* data, int size, doctor_list* list);
MEDSTORE_API int SetAddOperationData(int type, void* data, int size, operation_list* list);
MEDSTORE_API int SetAddPushData(int type, void* data, int size, push_list* list);
MEDSTORE_API int SetAddDeviceData(int type, void* data, int size, device_list* list);

/* ---- list helpers ---- */
MEDSTORE_API int create_user_list(user_list** list);
MEDSTORE_API int create_doctor_list(doctor_list** list);
MEDSTORE_API int create_operation_list(operation_list** list);
MEDSTORE_API int create_push_list(push_list** list);
MEDSTORE_API int create_device_list(device_list** list);
MEDSTORE_API int create_file_list(file_list** list);

/* Append an item (malloc'ed, with malloc'ed parts); the list owns it afterwards. */
MEDSTORE_API int add_item_to_user_list(user_list* list, user_item* item);
MEDSTORE_API int add_item_to_doctor_list(doctor_list* list, doctor_item* item);
MEDSTORE_API int add_item_to_operation_list(operation_list* list, operation_item* item);
MEDSTORE_API int add_item_to_push_list(push_list* list, push_item* item);
MEDSTORE_API int add_item_to_device_list(device_list* list, device_item* item);
MEDSTORE_API int add_item_to_file_list(file_list* list, file_item* item);

/* Unlink the item and free it with everything it owns. */
MEDSTORE_API void remove_item_from_user_list(user_list* list, user_item* item);
MEDSTORE_API void remove_item_from_doctor_list(doctor_list* list, doctor_item* item);
MEDSTORE_API void remove_item_from_operation_list(operation_list* list, operation_item* item);
MEDSTORE_API void remove_item_from_push_list(push_list* list, push_item* item);
MEDSTORE_API void remove_item_from_device_list(device_list* list, device_item* item);

MEDSTORE_API void destroy_user_list(user_list* list);
MEDSTORE_API void destroy_doctor_list(doctor_list* list);
MEDSTORE_API void destroy_operation_list(operation_list* list);
MEDSTORE_API void destroy_push_list(push_list* list);
MEDSTORE_API void destroy_device_list(device_list* list);
MEDSTORE_API void destroy_file_list(file_list* list);
MEDSTORE_API int clone_file_list(file_list* from, file_list** to);

/* Deep copies; *copy is a new item in no list. The list (may be null) gets the messages. */
MEDSTORE_API int duplicate_device_item(device_item* item, device_item** copy, device_list* list);
MEDSTORE_API int duplicate_user_item(user_item* item, user_item** copy, user_list* list);
MEDSTORE_API int duplicate_doctor_item(doctor_item* item, doctor_item** copy, doctor_list* list);
MEDSTORE_API int duplicate_operation_item(operation_item* item, operation_item** copy,
                                          operation_list* list);
MEDSTORE_API int duplicate_push_item(push_item* item, push_item** copy, push_list* list);

/* Free an item that is in no list, with everything it owns. */
MEDSTORE_API void clean_device_item(device_item* item);
MEDSTORE_API void clean_user_item(user_item* item);
MEDSTORE_API void clean_doctor_item(doctor_item* item);
MEDSTORE_API void clean_operation_item(operation_item* item);
MEDSTORE_API void clean_push_item(push_item* item);
/* Free only what a push item owns (frames, labels, notes, files) and zero those fields; for
 * items the caller keeps in its own storage. */
MEDSTORE_API void free_push_item_data(push_item* item);

/* ---- dumps to standard output ---- */
MEDSTORE_API void print_device_item(device_item* item);
MEDSTORE_API void print_device_list(device_list* list);
MEDSTORE_API void print_doctor_list(doctor_list* list);
MEDSTORE_API void print_operation_list(operation_list* list);
MEDSTORE_API void print_push_list(push_list* list);
MEDSTORE_API void print_file_list(file_list* list);

/* ---- searches: results are copies; release with the same call and a null first argument.
 * result and ids may be null; count must be given. ---- */
MEDSTORE_API int GetPatients(char* text, user_list** result, int** ids, int* count, user_list* db);
MEDSTORE_API int GetDoctors(char* text, doctor_list** result, int** ids, int* count,
                            doctor_list* db);
MEDSTORE_API int GetPatientsExt(user_search_mask* mask, user_list** result, int** ids, int* count,
                                user_list* db);
MEDSTORE_API int GetOperationsExt(operation_search_mask* mask, operation_list** result, int** ids,
                                  int* count, operation_list* db);
MEDSTORE_API int GetPushID(int operationId, push_list** result, int** ids, int* count,
                           push_list* db);

#ifdef __cplusplus
}
#endif

#endif /* MEDSTORE_MEDSTORE_H */
