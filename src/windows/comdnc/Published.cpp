#include "comdnc/Published.h"

namespace ostrana::comdnc {

const CLSID kMachineClass = {0x8FA3D2F7, 0x51B3, 0x4E5F, {0xBC, 0xC6, 0xD2, 0xF7, 0xD7, 0xFC, 0xA7, 0xC1}};
const IID kMachineInterface = {0x5748A4D4, 0x59A9, 0x4D6D, {0x80, 0xE2, 0xEE, 0x22, 0x86, 0x17, 0x0E, 0x11}};
const IID kConnectionInterface = {0xBCB5C2C2, 0x45AF, 0x4357, {0xA4, 0xDB, 0x2F, 0xDF, 0xE6, 0x63, 0x89, 0x75}};
const IID kDataAccessInterface = {0xFCCCC580, 0x4A70, 0x4C64, {0x95, 0x79, 0x6A, 0x43, 0x38, 0xE3, 0x6C, 0xD4}};
const IID kFileSystemInterface = {0x20143017, 0x01FA, 0x47B6, {0xA6, 0xE0, 0x90, 0x6C, 0xA9, 0x52, 0x91, 0x86}};
// IJHDataEntry2 is not queried (GetDataEntry2 hands it out), but its members are checked.
const IID kDataEntryInterface = {0x88B02677, 0xF095, 0x4592, {0xA3, 0x6D, 0x99, 0xDD, 0x02, 0x95, 0x43, 0x17}};

namespace published {
using enum Arg;

const Member kDisconnect{"disconnect", L"Disconnect", 2, Invoke::Method, {}, 0, false};
const Member kGetInterface{"get interface object", L"GetInterface", 3, Invoke::Method, {Long}, 0, true};
const Member kGetState{"get state", L"GetState", 8, Invoke::Method, {}, 0, true};
const Member kConnectRequest3{
    "connection request", L"ConnectRequest3", 13, Invoke::Method, {Object, Variant, Variant}, 2, false};
const Member kConfigure{"configure", L"Configure", 9, Invoke::Method, {Long, Long}, 0, false};
const Member kPropertyValuePut{"set property", L"propertyValue", 10, Invoke::PropertyPut, {Long, Variant}, 0, false};
const Member kGetDataEntry2{"get data entry", L"GetDataEntry2", 3, Invoke::Method, {Text, Long, Bool}, 0, true};
const Member kGetPropertyValue{"get value", L"GetPropertyValue", 14, Invoke::Method, {Long}, 0, true};
const Member kSetPropertyValue{"set value", L"SetPropertyValue", 15, Invoke::Method, {Long, Variant, Bool}, 0, false};
const Member kChangeDirectory{"select directory", L"ChangeDirectory", 5, Invoke::Method, {Text}, 0, false};
const Member kMakeDirectory{"make directory", L"MakeDirectory", 6, Invoke::Method, {Text}, 0, false};
const Member kPreviewFile{"look up file", L"PreviewFile", 11, Invoke::Method, {Text, Long}, 0, true};
const Member kTransmitFile{"transmit file", L"TransmitFile", 14, Invoke::Method, {Text, Text}, 0, false};

const Interface kMachine{
    "IJHMachine3", &kMachineInterface, {&kDisconnect, &kGetInterface, &kGetState, &kConnectRequest3}};
const Interface kConnection{"IJHConnection2", &kConnectionInterface, {&kConfigure, &kPropertyValuePut}};
const Interface kDataAccess{"IJHDataAccess3", &kDataAccessInterface, {&kGetDataEntry2}};
const Interface kDataEntry{"IJHDataEntry2", &kDataEntryInterface, {&kGetPropertyValue, &kSetPropertyValue}};
const Interface kFileSystem{
    "IJHFileSystem", &kFileSystemInterface, {&kChangeDirectory, &kMakeDirectory, &kPreviewFile, &kTransmitFile}};
}  // namespace published

}  // namespace ostrana::comdnc
