# Opening beneath a drive folder, and the images that change under the platform while it works.
tallyard_test(platform_beneath_test ${CMAKE_CURRENT_LIST_DIR}/beneath_test.cpp LIBS tallyard_platform)
