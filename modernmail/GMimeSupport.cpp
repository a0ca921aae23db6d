#include "modernmail/GMimeSupport.h"

#include <mutex>

namespace modernmail {

void InitializeGMime()
{
    static std::once_flag initialized;
    std::call_once(initialized, [] { g_mime_init(); });
}

}  // namespace modernmail
