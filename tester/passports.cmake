# tacmon_passports_core: the passports dialog's rules over the registry, draft passports from
# a push and the fits of passports from calibration points (Qt-free).
# tacmon_passports: the dialogs KCDPasports (159) and KCDEditDouble (160), opened by the hub.
# tacmon_passport_drafts: the operation window's menu commands 32799, 32859 and 32800.
add_library(tacmon_passports_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/passports.cpp
  ${CMAKE_CURRENT_LIST_DIR}/passports.h
  ${CMAKE_CURRENT_LIST_DIR}/passport_fit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/passport_fit.h
)
target_include_directories(tacmon_passports_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(tacmon_passports_core PUBLIC tacmon_acquisition tacmon_platform)

if(TACMON_BUILD_GUI)
  add_library(tacmon_passports STATIC
    ${CMAKE_CURRENT_LIST_DIR}/kcd_pasports.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kcd_pasports.h
  )
  target_link_libraries(tacmon_passports PUBLIC tacmon_passports_core tacmon_hub tacmon_kit
                                                tacmon_ui Qt6::Widgets)
  add_library(tacmon_passport_drafts STATIC
    ${CMAKE_CURRENT_LIST_DIR}/draft_passports.cpp
    ${CMAKE_CURRENT_LIST_DIR}/draft_passports.h
  )
  target_link_libraries(tacmon_passport_drafts PUBLIC tacmon_passports tacmon_recording
                                                      tacmon_kit tacmon_ui Qt6::Widgets)
endif()
