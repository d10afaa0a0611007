/*
 * What more than one deliverable of the Sorrelink USB suite relies on: the
 * USB printer driver's device interface class and I/O controls, the USB IDs,
 * the port-name form and the value names of the device interface key.
 */
#ifndef OVLCOMMON_H
#define OVLCOMMON_H

#include <windows.h>

/* Device interface class under which ovlusb00.sys registers one interface per
 * printer: {7c2e5a10-3b4f-4d6a-9e21-5f8c0b1d2e3a}. */
static const GUID OVL_INTERFACE_CLASS_GUID = {
    0x7c2e5a10, 0x3b4f, 0x4d6a, {0x9e, 0x21, 0x5f, 0x8c, 0x0b, 0x1d, 0x2e, 0x3a}};
#define OVL_INTERFACE_CLASS_TEXT "{7c2e5a10-3b4f-4d6a-9e21-5f8c0b1d2e3a}"

/* Driver controls: device type 0x18, buffered, any access. */
#define OVL_IOCTL_GET_DEVICE_ID 0x182000   /* function 0x800: IEEE 1284 device ID */
#define OVL_IOCTL_GET_PORT_STATUS 0x182004 /* function 0x801: one status byte */

/* Bits of the printer's status byte (IEEE 1284 status lines). */
#define OVL_STATUS_PAPER_EMPTY 0x20
#define OVL_STATUS_SELECTED 0x10
#define OVL_STATUS_NO_ERROR 0x08

/* USB identity of the family: vendor 7E51, the 640/880 series is 0114. */
#define OVL_USB_VENDOR_ID "7E51"
#define OVL_USB_PRODUCT_ID_640 "0114"

/* Port names: "USB/" + Product + "/" + SerialNumber, at most 255 characters. */
#define OVL_PORT_PREFIX "USB/"
#define OVL_PORT_SEPARATOR "/"
#define OVL_PORT_DEFAULT_TAIL "Sorrelink/Unknown"
#define OVL_PORT_NAME_MAX 255
#define OVL_PORT_NAME_BUFFER (OVL_PORT_NAME_MAX + 1)

/* Values of the device interface key. */
#define OVL_VALUE_PORT_NAME "PortName"
#define OVL_VALUE_PRODUCT "Product"
#define OVL_VALUE_SERIAL_NUMBER "SerialNumber"
#define OVL_VALUE_ENABLED "Enabled"

#endif
