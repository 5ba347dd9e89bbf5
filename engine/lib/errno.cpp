// "errno.h" and "stdbool.h": constants only, and errno itself, which is the
// host's: a script reads and writes the very variable the host sets.
#include "library.h"

#include "state.h"
#include "variable.h"

#include <cerrno>

const char *const kStdboolSetupSource = "typedef int bool;";

namespace {

// Alphabetical, the order scripts see them defined in; the values are the
// host's, so that they compare correctly with errno.
struct ErrorConstant {
    const char *name;
    int32_t value;
};

ErrorConstant errorConstants[] = {
    {"EACCES", EACCES}, {"EADDRINUSE", EADDRINUSE}, {"EADDRNOTAVAIL", EADDRNOTAVAIL},
    {"EAFNOSUPPORT", EAFNOSUPPORT}, {"EAGAIN", EAGAIN}, {"EALREADY", EALREADY}, {"EBADF", EBADF},
    {"EBADMSG", EBADMSG}, {"EBUSY", EBUSY}, {"ECANCELED", ECANCELED}, {"ECHILD", ECHILD},
    {"ECONNABORTED", ECONNABORTED}, {"ECONNREFUSED", ECONNREFUSED}, {"ECONNRESET", ECONNRESET},
    {"EDEADLK", EDEADLK}, {"EDESTADDRREQ", EDESTADDRREQ}, {"EDOM", EDOM}, {"EEXIST", EEXIST},
    {"EFAULT", EFAULT}, {"EFBIG", EFBIG}, {"EHOSTUNREACH", EHOSTUNREACH}, {"EIDRM", EIDRM},
    {"EILSEQ", EILSEQ}, {"EINPROGRESS", EINPROGRESS}, {"EINTR", EINTR}, {"EINVAL", EINVAL},
    {"EIO", EIO}, {"EISCONN", EISCONN}, {"EISDIR", EISDIR}, {"ELOOP", ELOOP}, {"EMFILE", EMFILE},
    {"EMLINK", EMLINK}, {"EMSGSIZE", EMSGSIZE}, {"ENAMETOOLONG", ENAMETOOLONG}, {"ENETDOWN", ENETDOWN},
    {"ENETRESET", ENETRESET}, {"ENETUNREACH", ENETUNREACH}, {"ENFILE", ENFILE}, {"ENOBUFS", ENOBUFS},
    {"ENODATA", ENODATA}, {"ENODEV", ENODEV}, {"ENOENT", ENOENT}, {"ENOEXEC", ENOEXEC},
    {"ENOLCK", ENOLCK}, {"ENOLINK", ENOLINK}, {"ENOMEM", ENOMEM}, {"ENOMSG", ENOMSG},
    {"ENOPROTOOPT", ENOPROTOOPT}, {"ENOSPC", ENOSPC}, {"ENOSR", ENOSR}, {"ENOSTR", ENOSTR},
    {"ENOSYS", ENOSYS}, {"ENOTCONN", ENOTCONN}, {"ENOTDIR", ENOTDIR}, {"ENOTEMPTY", ENOTEMPTY},
    {"ENOTRECOVERABLE", ENOTRECOVERABLE}, {"ENOTSOCK", ENOTSOCK}, {"ENOTSUP", ENOTSUP},
    {"ENOTTY", ENOTTY}, {"ENXIO", ENXIO}, {"EOPNOTSUPP", EOPNOTSUPP}, {"EOVERFLOW", EOVERFLOW},
    {"EOWNERDEAD", EOWNERDEAD}, {"EPERM", EPERM}, {"EPIPE", EPIPE}, {"EPROTO", EPROTO},
    {"EPROTONOSUPPORT", EPROTONOSUPPORT}, {"EPROTOTYPE", EPROTOTYPE}, {"ERANGE", ERANGE},
    {"EROFS", EROFS}, {"ESPIPE", ESPIPE}, {"ESRCH", ESRCH}, {"ETIME", ETIME}, {"ETIMEDOUT", ETIMEDOUT},
    {"ETXTBSY", ETXTBSY}, {"EWOULDBLOCK", EWOULDBLOCK}, {"EXDEV", EXDEV}};
static_assert(sizeof errorConstants / sizeof errorConstants[0] == 77, "the 77 E constants");

int32_t trueValue = 1, falseValue = 0, boolDefined = 1;

} // namespace

void errnoSetup(EngineState *state)
{
    for (ErrorConstant &constant : errorConstants)
        defineIntConstant(state, constant.name, &constant.value);
    static_assert(sizeof errno == sizeof(int32_t), "errno is a script int");
    defineGlobalValue(state, nullptr, "errno", &state->intType, &errno, true);
}

void stdboolSetup(EngineState *state)
{
    defineIntConstant(state, "true", &trueValue);
    defineIntConstant(state, "false", &falseValue);
    defineIntConstant(state, "__bool_true_false_are_defined", &boolDefined);
}
