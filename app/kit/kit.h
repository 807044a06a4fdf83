// The dialog kit shared by the program's windows. Without windows (tacmon_kit_core):
// pane_layout.h (splitter panes), anchor_layout.h (anchored controls), edit_int_logic.h
// (number and date edits, popups, PluralWord), date_logic.h (calendar), font_record.h
// (the 60-byte font record), file_filter.h. On the UI framework (tacmon_kit): dialog_k.h
// (CDialogK, ArrangeControls), edit_int.h (KCEditInt, CButtonArrow), date_dialog.h (CKDate),
// file_dialog.h (CKFileDialog), fonts.h (LoadDefaultFont, CreateFontWithFallback).
#pragma once

#include "app/kit/date_dialog.h"
#include "app/kit/dialog_k.h"
#include "app/kit/edit_int.h"
#include "app/kit/file_dialog.h"
#include "app/kit/fonts.h"
