// OperationPanesHost: what the panes of an operation window (pushes list, patient card) need
// from the window that holds them. The operation window implements it; the panes never include
// the window's own header.
#pragma once

#include <array>
#include <string>

#include "platform/cp1251.h"
#include "records/operation_description.h"
#include "records/records_host.h"
#include "view/sensor_map.h"

struct push_list;
struct PassportRegistry;

class OperationPanesHost {
 public:
  virtual ~OperationPanesHost() = default;

  // "c:\Tacmon\OPERATIONS\<name>" of the operation shown; empty before one is opened.
  virtual Text1251 OperationFolder() const = 0;
  virtual const OperationDescription& Description() const = 0;

  // The selected push's comment becomes the current push name of the window's title, which is
  // refreshed at once.
  virtual void SetCurrentPushName(const Text1251& name) = 0;

  // The recording view's display state: its visibility flags and brushes are used for the
  // thumbnails.
  virtual const view::MapDisplayState& RecordingMapState() const = 0;
  // Menu item "Показать/скрыть удаленные нажатия" is checked.
  virtual bool ShowDeletedPushes() const = 0;

  // Owned by the hub: organ table, surgeons, the stationary pushes database (null when absent)
  // and the passport registry.
  virtual RecordsHost& Records() = 0;
  virtual push_list* PushesDatabase() const = 0;
  virtual PassportRegistry& Passports() = 0;
};
