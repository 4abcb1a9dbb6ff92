# The image-run tests load the built images (built first) and compare them with the host-linked modules.
target_link_libraries(sim_image_tests PRIVATE sim_image platform_smbios_driver_code boardsim_lib boardsim_trace
                                              regaccess_service)
image_files_for_tests(image_files)
target_compile_definitions(sim_image_tests PRIVATE ${image_files} BOARDS_DIR="${CMAKE_SOURCE_DIR}/boards")
get_property(own_images GLOBAL PROPERTY FIRMWARE_IMAGE_FILES)
if(own_images)
  add_dependencies(sim_image_tests firmware_images)
endif()
