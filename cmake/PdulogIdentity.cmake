# Where a product's levels and logs live: the store's folder under the per-user data folder
# and the names of its log files in the temporary folder. Each vendor's build sets its own,
# so that two products on one PC share neither a store nor an init log; the defaults are the
# names this library has always used. The library and the command of one build use the same
# ones, and the installed package records them (PdulogIdentity.h, pdulogConfig.cmake,
# pdulog.pc).
set(PDULOG_STORE_FOLDER "Krelt\\PDUAPI" CACHE STRING
    "Folder of the level store (DEBUG.CFG) under the per-user data folder, \\ or / between folders")
set(PDULOG_LOG_FILE "d-pdu-api_All_x86.log" CACHE STRING "Log file name in the temporary folder")
set(PDULOG_LOG_FILE_FALLBACK "d-pdu-api.log" CACHE STRING
    "Log file name used when the first cannot be expanded")
set(PDULOG_INIT_LOG_FILE "d-pdu-api_All_x86_init.log" CACHE STRING "Init log file name in the temporary folder")
set(PDULOG_INIT_LOG_FILE_FALLBACK "d-pdu-api_init.log" CACHE STRING
    "Init log file name used when the first cannot be expanded")
set(PDULOG_INIT_LOG_LIMIT "0" CACHE STRING
    "Size in bytes past which the init log rolls over into <name>.1; 0: no limit")
string(LENGTH "${PDULOG_INIT_LOG_LIMIT}" length)
if(NOT PDULOG_INIT_LOG_LIMIT MATCHES "^[0-9]+$" OR length GREATER 19)
  message(FATAL_ERROR "PDULOG_INIT_LOG_LIMIT '${PDULOG_INIT_LOG_LIMIT}' is no size: a number of bytes, "
                      "19 digits at most (0: no limit)")
endif()

# The names go into C strings, CMake and pkg-config files and paths whose %NAME% references
# are expanded: a name is letters, digits, spaces and ._+()- only, and neither starts nor
# ends with a space or a dot (Windows drops those), which also rules out "." and "..".
set(pdulog_name "[A-Za-z0-9_+()-]([A-Za-z0-9 ._+()-]*[A-Za-z0-9_+()-])?")
# Windows' device names (CON, NUL.log, COM1, ...) are no files, and no name holds more than
# 255 characters: a build with such a name could only fail, or write to a device.
set(pdulog_device "(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])([.].*)?")
foreach(var PDULOG_LOG_FILE PDULOG_LOG_FILE_FALLBACK PDULOG_INIT_LOG_FILE PDULOG_INIT_LOG_FILE_FALLBACK)
  string(TOUPPER "${${var}}" upper)
  string(LENGTH "${${var}}" length)
  if(NOT "${${var}}" MATCHES "^${pdulog_name}$" OR upper MATCHES "^${pdulog_device}$" OR length GREATER 255)
    message(FATAL_ERROR "${var} '${${var}}' is no file name: letters, digits, spaces and ._+()- only, "
                        "not starting or ending with a space or a dot, no device name, 255 characters at most")
  endif()
endforeach()
string(TOUPPER "${PDULOG_STORE_FOLDER}" upper)
string(LENGTH "${PDULOG_STORE_FOLDER}" length)
if(NOT "${PDULOG_STORE_FOLDER}" MATCHES "^${pdulog_name}([\\/]${pdulog_name})*$"
   OR upper MATCHES "(^|[\\/])${pdulog_device}([\\/]|$)" OR length GREATER 128)
  message(FATAL_ERROR "PDULOG_STORE_FOLDER '${PDULOG_STORE_FOLDER}' is no relative folder: names as "
                      "for a file, one \\ or / between them, 128 characters at most")
endif()
# Windows' separators, as the rest of the configured paths have them.
string(REPLACE "/" "\\" pdulog_store_folder "${PDULOG_STORE_FOLDER}")
string(REPLACE "\\" "\\\\" PDULOG_STORE_FOLDER_C "${pdulog_store_folder}")

configure_file(${CMAKE_CURRENT_LIST_DIR}/PdulogIdentity.h.in ${PDULOG_GENERATED_INCLUDE}/pdulog/PdulogIdentity.h @ONLY)
