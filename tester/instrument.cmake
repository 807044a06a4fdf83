# tacmon_tester_core (Qt-free): tester passports ".cfp", the adapter wrapper over usbcan and the
# reception of the instrument's frames, the tester thread, the calibration figures and the
# passport from calibration points. tacmon_tester: the test dialog KCDKnee (163) with the
# weight dialog (173), installed as the operation window's command 32838.
add_library(tacmon_tester_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/tester_passport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tester_passport.h
  ${CMAKE_CURRENT_LIST_DIR}/tdodezori_tester.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tdodezori_tester.h
  ${CMAKE_CURRENT_LIST_DIR}/cdavav_boiler_thread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cdavav_boiler_thread.h
  ${CMAKE_CURRENT_LIST_DIR}/calibration.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calibration.h
)
target_include_directories(tacmon_tester_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(tacmon_tester_core PUBLIC tacmon_acquisition tacmon_platform usbcan)

if(TACMON_BUILD_GUI)
  add_library(tacmon_tester STATIC
    ${CMAKE_CURRENT_LIST_DIR}/kcd_knee.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kcd_knee.h
    ${CMAKE_CURRENT_LIST_DIR}/tester_windows.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tester_windows.h
  )
  target_link_libraries(tacmon_tester PUBLIC tacmon_tester_core tacmon_passports
                                             tacmon_recording tacmon_hub tacmon_kit tacmon_ui
                                             tacmon_params tacmon_log Qt6::Widgets)
endif()
