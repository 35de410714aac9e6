// GetLastError / SetLastError (per thread) and the errno translation.
#include "platform/errors.h"

#include <cerrno>

namespace {
thread_local DWORD t_last_error = ERROR_SUCCESS;
}

namespace orva::platform {

DWORD error_from_errno(int err) {
    switch (err) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EBUSY:
        case EWOULDBLOCK:
            return ERROR_SHARING_VIOLATION;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ETIMEDOUT:
            return ERROR_TIMEOUT;
        case EIO:
            return ERROR_READ_FAULT;
        default:
            return ERROR_GEN_FAILURE;
    }
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

HANDLE fail_handle(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

}  // namespace orva::platform

DWORD GetLastError(void) { return t_last_error; }
void SetLastError(DWORD error) { t_last_error = error; }
