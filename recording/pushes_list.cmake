# tacmon_recording_panes_core: the pushes list of an operation (entries, description files,
# thumbnails, scrolling, selection, export from the stationary database) and the patient card's
# lines, Qt-free. tacmon_recording_panes: their panes CtacmonDlgPushesList, KCD_Notes and
# CtacmonDlgInfo on the UI framework.
add_library(tacmon_recording_panes_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/push_entry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pushes_list_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/patient_card.cpp
)
target_include_directories(tacmon_recording_panes_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(tacmon_recording_panes_core PUBLIC tacmon_view_core tacmon_records_core
                                                         tacmon_acquisition medstore)

if(TACMON_BUILD_GUI AND TARGET tacmon_view)
  add_library(tacmon_recording_panes STATIC
    ${CMAKE_CURRENT_LIST_DIR}/pushes_list_dlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kcd_notes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/patient_card_dlg.cpp
  )
  target_link_libraries(tacmon_recording_panes PUBLIC tacmon_recording_panes_core tacmon_view
                                                      tacmon_kit tacmon_ui Qt6::Widgets)
endif()
