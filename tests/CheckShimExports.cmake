# Links the background program's objects, compiled for Windows, against the
# core library's import library and reads what the linker cannot find. Every
# such symbol must belong to a layer that is not built for Windows yet (the
# dialog framework and its toolkit, the dialog interception's dialogs, the
# findable window, the shell's open verb, the demonstration); a symbol of the
# core that the library does not export fails the check.
#   cmake -DCXX=<compiler> -DOBJECTS=<a;b;...> -DLIBRARY=<import library>
#         -DWORK=<folder> -P CheckShimExports.cmake
foreach(var CXX OBJECTS LIBRARY WORK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

set(LATER_LAYERS
  "^CDialog::" "^CWnd::" "^CListCtrl::" "^CResizableDialog::" "^CXListCtrl::" "^CSettingsDlg::"
  "^CVeilDialogs::" "^DDX_" "^WM_XLISTCTRL_" "^platform::gui::" "^platform::CFindableWindow::"
  "^platform::ShellOpenFile\\(" "^RunDemoJob\\(" "^vtable for (CResizableDialog|CSettingsDlg|CXListCtrl)$")

file(MAKE_DIRECTORY "${WORK}")
execute_process(
  COMMAND "${CXX}" -o "${WORK}/probe.exe" ${OBJECTS} "${LIBRARY}" -static -lole32 -lshell32 -luuid
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)

string(REGEX MATCHALL "undefined reference to `[^'\n]*'" references "${output}")
set(missing)
foreach(reference IN LISTS references)
  string(REGEX REPLACE "^undefined reference to `(.*)'$" "\\1" symbol "${reference}")
  list(APPEND missing "${symbol}")
endforeach()
list(REMOVE_DUPLICATES missing)

# Anything else the linker complains about is a failure of its own.
string(REGEX REPLACE "[^\n]*undefined reference to[^\n]*\n?" "" rest "${output}")
string(REGEX REPLACE "[^\n]*([Ii]n function|more undefined references|ld returned|\\.text|\\.rdata|\\.data)[^\n]*\n?" "" rest "${rest}")
string(STRIP "${rest}" rest)
if(NOT rest STREQUAL "")
  message(FATAL_ERROR "the link failed for another reason:\n${rest}")
endif()

set(core)
set(later 0)
foreach(symbol IN LISTS missing)
  set(known FALSE)
  foreach(pattern IN LISTS LATER_LAYERS)
    if(symbol MATCHES "${pattern}")
      set(known TRUE)
      break()
    endif()
  endforeach()
  if(known)
    math(EXPR later "${later} + 1")
  else()
    list(APPEND core "${symbol}")
  endif()
endforeach()

list(LENGTH core coreCount)
if(coreCount GREATER 0)
  list(JOIN core "\n  " text)
  message(FATAL_ERROR "the core library does not give the background program:\n  ${text}")
endif()
if(result EQUAL 0)
  message(STATUS "the background program links completely")
else()
  message(STATUS "everything the background program needs from the core is exported; "
                 "${later} symbols belong to layers not built for Windows yet")
endif()
