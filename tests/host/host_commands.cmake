# The host program end to end against the simulated world: each command
# must succeed (exit 0) and say what a user needs to see.
set(CVHOST $<TARGET_FILE:cvhost>)
set(HOST_OUT ${CMAKE_CURRENT_BINARY_DIR}/host-output)
file(MAKE_DIRECTORY ${HOST_OUT})
set(HOST_ENV "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/host/lsan.supp")

function(host_test name regex)
  add_test(NAME host_${name}
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/host/expect_output.sh "${regex}" ${CVHOST} ${ARGN})
  set_tests_properties(host_${name} PROPERTIES ENVIRONMENT "${HOST_ENV}" TIMEOUT 120 LABELS host)
endfunction()

host_test(info "Cameras published by the driver: 2"
  --sim-camera 0A30 --sim-camera 0A12 info)
host_test(help_expose "--time" expose --help)
host_test(link_interlaced "nterlaced"
  --sim-camera 0A12 --sim-virtual-clock link)
host_test(link_guide_head "ttached"
  --sim-camera 0A30 --sim-virtual-clock link --guide-head)
foreach(mode automatic progressive fast interlaced)
  host_test(expose_${mode} "\\.fits"
    --sim-camera 0A13 --sim-virtual-clock --sim-test-pattern
    expose --time 1 --mode ${mode} --output ${HOST_OUT} --name e2e-${mode})
endforeach()
host_test(expose_guider "\\.fits"
  --sim-camera 0A30 --sim-virtual-clock expose --guider --time 1 --output ${HOST_OUT} --name e2e-guider)
host_test(wheel_cycle "7"
  --sim-wheel 7 --sim-virtual-clock wheel cycle)
host_test(cool_interlaced "status 1"
  --sim-camera 0A13 --sim-virtual-clock cool --setpoint -10 --on --watch --for 600 --interval 60)
host_test(pulse "0"
  --sim-camera 0A30 --sim-virtual-clock pulse --plus-x 200 --minus-y 50)

find_program(FITSVERIFY fitsverify)
if(FITSVERIFY)
  add_test(NAME host_fitsverify COMMAND sh -c
    "for f in ${HOST_OUT}/e2e-*.fits; do ${FITSVERIFY} -q \"$f\" || exit 1; done")
  set_tests_properties(host_fitsverify PROPERTIES
    DEPENDS "host_expose_automatic;host_expose_progressive;host_expose_fast;host_expose_interlaced;host_expose_guider"
    LABELS host)
endif()
