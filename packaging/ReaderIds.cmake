# The USB readers of reader/usb/ReaderIds.h, one entry a line there
# ("{0xVVVV, 0xPPPP},  // name"), as the lines of the udev rule, of the
# package's udev trigger and of the AppStream modaliases.
file(STRINGS ${PROJECT_SOURCE_DIR}/reader/usb/ReaderIds.h entries
     REGEX "^ *{0x[0-9A-F][0-9A-F][0-9A-F][0-9A-F], 0x[0-9A-F][0-9A-F][0-9A-F][0-9A-F]},  // ")
if(NOT entries)
  message(FATAL_ERROR "no reader ids found in reader/usb/ReaderIds.h")
endif()
set(QAVO_UDEV_RULES "")
set(QAVO_UDEV_TRIGGERS "")
set(QAVO_MODALIASES "")
foreach(entry IN LISTS entries)
  string(REGEX MATCH "0x(....), 0x(....)},  // (.*)$" _ "${entry}")
  set(vendor ${CMAKE_MATCH_1})
  set(product ${CMAKE_MATCH_2})
  set(name ${CMAKE_MATCH_3})
  string(TOLOWER ${vendor} v)
  string(TOLOWER ${product} p)
  string(APPEND QAVO_UDEV_RULES "# ${name}\nSUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", "
                                "ATTR{idVendor}==\"${v}\", ATTR{idProduct}==\"${p}\", TAG+=\"uaccess\"\n")
  string(APPEND QAVO_UDEV_TRIGGERS "  udevadm trigger --subsystem-match=usb --attr-match=idVendor=${v} "
                                   "--attr-match=idProduct=${p} >/dev/null 2>&1 || true\n")
  string(APPEND QAVO_MODALIASES "    <modalias>usb:v${vendor}p${product}d*</modalias>\n")
endforeach()
foreach(var QAVO_UDEV_RULES QAVO_UDEV_TRIGGERS QAVO_MODALIASES)
  string(REGEX REPLACE "\n$" "" ${var} "${${var}}")
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/reader/usb/ReaderIds.h)

set(QAVO_UDEV_RULE_FILE ${PROJECT_BINARY_DIR}/packaging/60-qavo-card-reader.rules)
set(QAVO_METAINFO_FILE ${PROJECT_BINARY_DIR}/packaging/io.github.qavo_card_reader.metainfo.xml)
set(QAVO_POSTINST_FILE ${PROJECT_BINARY_DIR}/packaging/postinst)
configure_file(${CMAKE_CURRENT_LIST_DIR}/60-qavo-card-reader.rules.in ${QAVO_UDEV_RULE_FILE} @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/io.github.qavo_card_reader.metainfo.xml.in ${QAVO_METAINFO_FILE} @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/postinst.in ${QAVO_POSTINST_FILE} @ONLY USE_SOURCE_PERMISSIONS)
