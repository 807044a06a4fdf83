# tacmon_passports_core: the passports dialog's rules over the registry, draft passports from
# a push, the fits of passports from calibration points and the texts and folders of test
# reports (Qt-free).
# tacmon_passports: the dialogs KCDPasports (159) and KCDEditDouble (160), opened by the hub;
# graph pictures and printed protocols (also those of the recording view).
# tacmon_passport_drafts: the operation window's menu commands 32799, 32859 and 32800.
add_library(tacmon_passports_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/passports.cpp
  ${CMAKE_CURRENT_LIST_DIR}/passports.h
  ${CMAKE_CURRENT_LIST_DIR}/passport_fit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/passport_fit.h
  ${CMAKE_CURRENT_LIST_DIR}/test_report.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_report.h
)
target_include_directories(tacmon_passports_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(tacmon_passports_core PUBLIC tacmon_acquisition tacmon_kit_core
                                                    tacmon_platform)

if(TACMON_BUILD_GUI)
  add_library(tacmon_passports STATIC
    ${CMAKE_CURRENT_LIST_DIR}/kcd_pasports.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kcd_pasports.h
    ${CMAKE_CURRENT_LIST_DIR}/protocol_print.cpp
    ${CMAKE_CURRENT_LIST_DIR}/protocol_print.h
    ${CMAKE_CURRENT_LIST_DIR}/report_writer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/report_writer.h
  )
  target_link_libraries(tacmon_passports PUBLIC tacmon_passports_core tacmon_hub tacmon_kit
                                                tacmon_ui Qt6::Widgets Qt6::PrintSupport)
  add_library(tacmon_passport_drafts STATIC
    ${CMAKE_CURRENT_LIST_DIR}/draft_passports.cpp
    ${CMAKE_CURRENT_LIST_DIR}/draft_passports.h
  )
  target_link_libraries(tacmon_passport_drafts PUBLIC tacmon_passports tacmon_recording
                                                      tacmon_kit tacmon_ui Qt6::Widgets)
endif()
