// Descriptions of the Windows Sockets error codes every hook and caller sees.
#include "net/socket_core.h"

namespace qelvo::net {

std::string TBlockSocket::GetErrorDesc(int32_t ErrorCode) {
  switch (ErrorCode) {
    case 0: return "";
    case 10004: return "Interrupted system call";
    case 10009: return "Bad file number";
    case 10013: return "Permission denied";
    case 10014: return "Bad address";
    case 10022: return "Invalid argument";
    case 10024: return "Too many open files";
    case 10035: return "Operation would block";
    case 10036: return "Operation now in progress";
    case 10037: return "Operation already in progress";
    case 10038: return "Socket operation on nonsocket";
    case 10039: return "Destination address required";
    case 10040: return "Message too long";
    case 10041: return "Protocol wrong type for Socket";
    case 10042: return "Protocol not available";
    case 10043: return "Protocol not supported";
    case 10044: return "Socket not supported";
    case 10045: return "Operation not supported on Socket";
    case 10046: return "Protocol family not supported";
    case 10047: return "Address family not supported";
    case 10048: return "Address already in use";
    case 10049: return "Can't assign requested address";
    case 10050: return "Network is down";
    case 10051: return "Network is unreachable";
    case 10052: return "Network dropped connection on reset";
    case 10053: return "Software caused connection abort";
    case 10054: return "Connection reset by peer";
    case 10055: return "No Buffer space available";
    case 10056: return "Socket is already connected";
    case 10057: return "Socket is not connected";
    case 10058: return "Can't send after Socket shutdown";
    case 10059: return "Too many references:can't splice";
    case 10060: return "Connection timed out";
    case 10061: return "Connection refused";
    case 10062: return "Too many levels of symbolic links";
    case 10063: return "File name is too long";
    case 10064: return "Host is down";
    case 10065: return "No route to host";
    case 10066: return "Directory is not empty";
    case 10067: return "Too many processes";
    case 10068: return "Too many users";
    case 10069: return "Disk quota exceeded";
    case 10070: return "Stale NFS file handle";
    case 10071: return "Too many levels of remote in path";
    case 10091: return "Network subsystem is unusable";
    case 10092: return "Winsock DLL cannot support this application";
    case 10093: return "Winsock not initialized";
    case 10101: return "Disconnect";
    case 11001: return "Host not found";
    case 11002: return "Non authoritative - host not found";
    case 11003: return "Non recoverable error";
    case 11004: return "Valid name, no data record of requested type";
    default: return "Other Winsock error (" + std::to_string(ErrorCode) + ")";
  }
}

const char* HookSocketReasonName(THookSocketReason reason) {
  static constexpr const char* kNames[] = {"HR_ResolvingBegin", "HR_ResolvingEnd", "HR_SocketCreate", "HR_SocketClose",
                                           "HR_Bind",           "HR_Connect",      "HR_CanRead",      "HR_CanWrite",
                                           "HR_Listen",         "HR_Accept",       "HR_ReadCount",    "HR_WriteCount",
                                           "HR_Wait",           "HR_Error"};
  return reason <= HR_Error ? kNames[reason] : "HR_?";
}

}  // namespace qelvo::net
