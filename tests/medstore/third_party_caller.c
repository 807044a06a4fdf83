/* A caller that knows only medstore.h and the shared library, as the workstation does: opens
 * the databases, adds, looks up, edits, searches and deletes, walks the lists through
 * head/next, and checks what comes back after a reopen. Exit status 0 when all checks hold. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <sys/stat.h>

#include "medstore/medstore.h"

static int failures = 0;
static int messages = 0;

#define CHECK(cond)                                                  \
  do {                                                               \
    if (!(cond)) {                                                   \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                    \
    }                                                                \
  } while (0)

static void report(const char* text) {
  ++messages;
  fprintf(stderr, "medstore: %s", text);
}

static int removed = 0;
static int remove_tree(const char* path) {
  char command[4096];
  ++removed;
  snprintf(command, sizeof command, "rm -rf '%s'", path);
  return system(command) == 0 ? 0 : 1;
}

int main(void) {
  char root[] = "/tmp/medstore_caller_XXXXXX";
  char path[256];
  if (!mkdtemp(root)) return 2;
  setenv("TACMON_DATA", root, 1);
  snprintf(path, sizeof path, "%s/DB_op", root);
  mkdir(path, 0777);
  snprintf(path, sizeof path, "%s/DB_push", root);
  mkdir(path, 0777);

  CHECK(sizeof(operation_search_mask) == 716);

  /* Operations by their host path, so the remover below can use the path it is given. */
  char opsPath[256];
  snprintf(opsPath, sizeof opsPath, "%s/DB_op", root);
  operation_list* ops = InitOperationDB(opsPath, report);
  push_list* pushes = InitPushDB("C:/tacmondata/db_push", report);
  CHECK(ops != NULL && pushes != NULL);
  if (!ops || !pushes) return 1;
  CHECK(SetAddOperationData(2, (void*)remove_tree, 4, ops) == 0);

  operation_item op;
  memset(&op, 0, sizeof op);
  op.size = sizeof op;
  op.version = 3;
  op.Time[0] = 2024;
  strcpy(op.FIO_patient[0], "Ivanov");
  op.idOrgan = 4;
  CHECK(AddOperation(&op, ops) == 0);
  CHECK(op.ID == 1);

  int values[2 * 19];
  push_frame frames[2];
  push_label label = {0, 1, ""};
  push_item* push = calloc(1, sizeof *push);
  push->size = sizeof *push;
  push->version = 3;
  push->OperationID = op.ID;
  push->HeadNum = 19;
  push->RawNum = 46;
  push->NPress = 2;
  for (int i = 0; i < 2 * 19; ++i) values[i] = i * 100 - 7;
  memset(frames, 0, sizeof frames);
  frames[0].Values = values;
  frames[1].Values = values + 19;
  frames[1].Time[6] = 10;
  push->Press = frames;
  push->NLabels = 1;
  push->Labels = &label;
  push->DeviceData[0] = 124;
  CHECK(AddPush(push, pushes) == 0);
  CHECK(push->ID == 1);
  free(push);

  push_item* stored = GetPushByID(op.ID, 1, pushes);
  CHECK(stored != NULL && stored->Press[1].Values[18] == 37 * 100 - 7);

  operation_item* own = GetOperationByID(1, ops);
  CHECK(own != NULL);
  strcpy(own->Organ, "Liver");
  CHECK(EditOperation(1, own, ops) == 0);
  CloseOperationDB(ops);
  ClosePushDB(pushes);

  ops = InitOperationDB(opsPath, report);
  pushes = InitPushDB("c:\\TacmonData\\DB_push", report);
  CHECK(ops != NULL && pushes != NULL);
  if (!ops || !pushes) return 1;
  SetAddOperationData(2, (void*)remove_tree, 4, ops);

  operation_search_mask mask;
  memset(&mask, 0, sizeof mask);
  mask.size = 716;
  mask.version = 3;
  operation_list* found = NULL;
  int* ids = NULL;
  int count = 0;
  CHECK(GetOperationsExt(&mask, &found, &ids, &count, ops) == 0);
  CHECK(count == 1 && ids[0] == 1);
  int walked = 0;
  for (operation_item* o = found ? found->head : NULL; o; o = o->next) {
    ++walked;
    CHECK(strcmp(o->Organ, "Liver") == 0);
    CHECK(strcmp(o->FIO_patient[0], "Ivanov") == 0);
  }
  CHECK(walked == 1);
  CHECK(GetOperationsExt(NULL, &found, &ids, &count, ops) == 0);
  CHECK(found == NULL && ids == NULL);

  push_list* ofOperation = NULL;
  CHECK(GetPushID(1, &ofOperation, &ids, &count, pushes) == 0);
  CHECK(count == 1 && ofOperation && ofOperation->head->NLabels == 1);
  CHECK(ofOperation && ofOperation->head->Labels[0].ElementaryPush == 1);
  CHECK(ofOperation && ofOperation->head->Press[0].Values[1] == 93);
  CHECK(ofOperation && ofOperation->head->DeviceData[0] == 124);
  GetPushID(0, &ofOperation, &ids, &count, pushes);

  CHECK(DelOperation(1, ops) == 0);
  CHECK(removed == 1);
  snprintf(path, sizeof path, "%s/DB_op/1", root);
  CHECK(access(path, F_OK) != 0);
  CHECK(DelPush(1, pushes) == 0);
  CHECK(ops->head == NULL && pushes->head == NULL);
  CloseOperationDB(ops);
  ClosePushDB(pushes);

  CHECK(messages == 0);
  char command[512];
  snprintf(command, sizeof command, "rm -rf '%s'", root);
  if (system(command) != 0) fprintf(stderr, "could not remove %s\n", root);
  if (failures) fprintf(stderr, "%d checks failed\n", failures);
  return failures ? 1 : 0;
}
