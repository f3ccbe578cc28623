# Installs the build in BUILD below PREFIX (emptied first) and checks that every
# file the package ships is there: cmake -DBUILD=... -DPREFIX=... -P CheckInstall.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD} failed: ${result}")
endif()
foreach(file bin/pellmor bin/quarv share/applications/pellmor.desktop
             share/icons/hicolor/scalable/apps/pellmor.svg share/man/man1/pellmor.1.gz
             share/man/man1/quarv.1.gz)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "cmake --install put no ${file} below ${PREFIX}")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
