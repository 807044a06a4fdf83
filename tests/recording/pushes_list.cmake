# Tests of the pushes list and patient card panes.
tacmon_add_test(recording_panes_core_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/push_entry_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/pushes_list_model_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/patient_card_test.cpp
  LIBS tacmon_recording_panes_core)
if(TARGET tacmon_recording_panes)
  tacmon_add_test(recording_panes_dialogs_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/pushes_list_dialogs_test.cpp
            ${CMAKE_SOURCE_DIR}/tests/ui/ui_env.cpp
    LIBS tacmon_recording_panes tacmon_records
    LABELS gui)
  # Pictures of the panes, kept for a person to look at.
  target_compile_definitions(recording_panes_dialogs_test PRIVATE
    TACMON_PANES_SNAPSHOTS="${CMAKE_BINARY_DIR}/snapshots/recording")
endif()
