# Picks the sources of one realisation. A source whose name ends in a tag
# ("Process_posix.cpp", "Registry_win.cpp", "Md5_openssl.cpp") belongs to
# that realisation and is built only where the tag is enabled; every other
# source is shared and always built. Tags:
#   posix, win       the target system (exactly one is enabled)
#   sqlite, openssl  POSIX realisations that need that library
#   qt, gio          realisations on those toolkits (enabled by their users)
set(VEILCASE_KNOWN_SOURCE_TAGS posix win sqlite openssl qt gio)
if(WIN32)
  set(VEILCASE_SOURCE_TAGS win)
else()
  set(VEILCASE_SOURCE_TAGS posix sqlite openssl)
endif()

# veilcase_pick_sources(<out-var> <glob>... [TAGS <extra-tag>...])
# Globs the given patterns and keeps the shared sources and those whose tag
# is in VEILCASE_SOURCE_TAGS or among the extra tags.
function(veilcase_pick_sources out)
  cmake_parse_arguments(PICK "" "" "TAGS" ${ARGN})
  file(GLOB candidates CONFIGURE_DEPENDS ${PICK_UNPARSED_ARGUMENTS})
  set(enabled ${VEILCASE_SOURCE_TAGS} ${PICK_TAGS})
  set(picked)
  foreach(src ${candidates})
    get_filename_component(name ${src} NAME_WE)
    set(keep TRUE)
    if(name MATCHES "_([a-z0-9]+)$")
      set(tag ${CMAKE_MATCH_1})
      if(tag IN_LIST VEILCASE_KNOWN_SOURCE_TAGS AND NOT tag IN_LIST enabled)
        set(keep FALSE)
      endif()
    endif()
    if(keep)
      list(APPEND picked ${src})
    endif()
  endforeach()
  set(${out} ${picked} PARENT_SCOPE)
endfunction()
