// The texts the user sees, by their string-table id. One place so that the
// window, the headless runner and the tests show exactly the same words.
// Constant data: callable from any thread.
#pragma once

#include <string>

namespace ostrana::strings {

inline constexpr const char* kAppName = "Ostrana Connector";                                 // 1000
inline constexpr const char* kVersion = "Version 1.1";                                       // 1001
inline constexpr const char* kLegal1 = "Copyright (C) 2026 Quorvane Corvessa";               // 1002
inline constexpr const char* kLegal2 = "All rights reserved.";                               // 1003
inline constexpr const char* kSocketsInitFailed = "Windows sockets initialization failed.";  // 1008

inline constexpr const char* kAskScanPorts =  // 1020
    "Unable to Listen on the set port.\nDo you wish to scan for available ports?";
inline constexpr const char* kPortSetTo = "Port set to %d.";  // 1021, never shown
inline constexpr const char* kNoDiscoverablePort =            // 1022
    "No Kelvra discoverable port is currently available!\n\nOnly ports in the range 50000 - 50100 "
    "are discoverable by Kelvra. You may select a port outside of this range but this will require "
    "manual setting in Kelvra.";
inline constexpr const char* kPortNotAvailable =  // 1023
    "The selected port is currently not available!\n\nChoose another port in the range 50000 - "
    "50100 to be discoverable by Kelvra. You may select a port outside of this range but this will "
    "require manual setting in Kelvra.";
inline constexpr const char* kCannotAccept = "Cannot accept connection.";  // 1024
inline constexpr const char* kUnsupportedConnectionType =                  // 1025
    "Unsupported connection type!\n\nOnly Heidenhain DCOM connections are supported.";
inline constexpr const char* kComponentMissing =  // 1026
    "Cannot find the Heidenhain DCOM component.\n\nThe Heidenhain DCOM component is installed by "
    "Heidenhain's RemoTools SDK.";
inline constexpr const char* kEnterPortRange = "Enter an integer between %d and %d.";  // 1027
// The port field's hint while its text is not an integer (no box: typing goes on).
inline constexpr const char* kNotAnInteger = "Please enter an integer.";

// A "Machine Connect" of type 4 that lacks fields would place the mailbox at a
// base row taken from the wrong field; it is refused with this text instead.
inline constexpr const char* kIncompleteConnectionData =
    "Incomplete connection data!\n\nExpected the connection type, the connection text, the "
    "connection number and the base row, separated by commas.";

// A base row that is not a number, or lies below 0, would place the mailbox on
// rows the NC program does not own; such connection data is refused.
inline constexpr const char* kInvalidBaseRow =
    "Invalid base row!\n\nThe base row, the last field of the connection data, must be a decimal "
    "row number of 0 or more.";

inline constexpr const char* kPortTipTitle = "Kelvra Connection Port";  // 1030
inline constexpr const char* kPortTipValid =                            // 1031
    "The port used to connect to Kelvra\nCurrently the port is valid and waiting for a connection";
inline constexpr const char* kPortTipInvalid =  // 1032
    "The port used to connect to Kelvra\nCurrently the port is invalid and cannot accept a "
    "connection";
inline constexpr const char* kInfoTipTitle = "Information";                                     // 1033
inline constexpr const char* kInfoTipText = "Further information and helpful links";            // 1034
inline constexpr const char* kStatusTipTitle = "Connection Status";                             // 1035
inline constexpr const char* kStatusNeither = "Both Kelvra and Machine Tool are disconnected";  // 1036
inline constexpr const char* kStatusBoth = "Both Kelvra and Machine Tool are connected";        // 1037
inline constexpr const char* kStatusMachineOnly =                                               // 1038
    "Machine Tool connected but Kelvra disconnected";
inline constexpr const char* kStatusClientOnly =  // 1039
    "Kelvra connected but Machine Tool disconnected";

inline constexpr const char* kConnectFailurePrefix = "Could not connect. Reason: ";

// Why a connect failed, after kConnectFailurePrefix (the state's name follows
// kReasonNotAvailable; TableUnusable names the file and what is wrong).
inline constexpr const char* kReasonNoConnection2 = "Could not QueryInterface IJHConnection2 interface";
inline constexpr const char* kReasonConfigure = "Could not Configure connection";
inline constexpr const char* kReasonConnectRequest = "Connection request failed";
inline constexpr const char* kReasonNoState = "Could not get Machine State";
inline constexpr const char* kReasonNotAvailable = "Machine is not available. State = ";
inline constexpr const char* kReasonNoDataAccessObject = "Could not create IJHDataAccess object";
inline constexpr const char* kReasonNoDataAccess = "Could not QueryInterface IJHDataAccess interface";
inline constexpr const char* kReasonNoFileSystemObject = "Could not create IJHFileSystem object";
inline constexpr const char* kReasonNoFileSystem = "Could not QueryInterface IJHFileSystem interface";
inline constexpr const char* kReasonNoTable = "Could not find/create the Freely Definable Table file";
inline std::string TableUnusable(const std::string& table, const std::string& why) {
  return "The Freely Definable Table file " + table + " cannot be used: " + why;
}

// Said at start.
inline std::string DriveUnusable(const std::string& root, const std::string& why) {
  return "The TNC drive folder " + root + " cannot be used: " + why +
         ".\n\nThe exchange table cannot be created there; choose another folder with --tnc-root.";
}
// `pid` and `port`: what the running connector's lock says, or "".
inline std::string DriveInUse(const std::string& root, const std::string& pid, const std::string& port) {
  return std::string(kAppName) + " is already running on the TNC drive folder " + root +
         (pid.empty() ? std::string() : " (process " + pid + ")") +
         (port.empty() ? std::string() : ", listening on port " + port) +
         ": the CAM client connects to that one.\n\nTo run a second connector beside it, give the second its own "
         "folder with --tnc-root and its own port with --port.";
}
inline std::string DriveNotLocked(const std::string& root, const std::string& lockFile, const std::string& why) {
  return "The TNC drive folder " + root + " cannot be locked for this run: " + lockFile + ": " + why +
         ".\n\nWithout its lock a second connector could write the same tables. Make the lock file usable, or "
         "choose another folder with --tnc-root.";
}
// `where`: the place it is stored ("line 3 of FILE"), or "".
inline std::string ListenAddressRefused(const std::string& text, const std::string& where) {
  return "The stored listen address '" + text + "'" + (where.empty() ? "" : " (" + where + ")") +
         " is not an address: the port listens on this computer only (127.0.0.1).";
}
inline std::string SettingsNotKept(const std::string& where, const std::string& why) {
  return "The settings cannot be kept in " + where + ": " + why +
         ".\n\nThis run's port, place and mute setting will be lost at exit.";
}
// Said at exit.
inline std::string SettingsNotSaved(const std::string& where, const std::string& why) {
  return "The settings were not saved in " + where + ": " + why;
}

// Said by the window's menu, on either toolkit.
// An empty path: the run has no guide at all (face/GuideFile.h).
inline std::string GuideNotOpened(const std::string& path) {
  if (path.empty()) return "The guide is not there: neither beside the program, nor in a build, nor installed.";
  return "The guide could not be opened: no program here opens it.\n\nIt is at " + path;
}
inline std::string LogNotOpened(const std::string& path) {
  return "The event log could not be opened: no program here opens it.\n\nIt is at " + path;
}

// "Ident Data: Ostrana Connector, Version 1.1, Machine Tool\n"
inline std::string Greeting() {
  return std::string("Ident Data: ") + kAppName + ", " + kVersion + ", " + "Machine Tool\n";
}

}  // namespace ostrana::strings
