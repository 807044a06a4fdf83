# record drives the probe link, which keeps its last port in a parameter set.
target_link_libraries(tacpush PRIVATE tacmon_params)
