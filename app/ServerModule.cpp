#include "app/ServerModule.h"

#include "platform/ComServer.h"
#include "platform/Sync.h"
#include "platform/Window.h"

using namespace win32;

ServerModule::ServerModule(HINSTANCE instance) : instance(instance), mainThreadId(GetCurrentThreadId()) {}

long ServerModule::Lock() { return ++lockCount; }

long ServerModule::Unlock() {
    const long count = --lockCount;
    if (count == 0) {
        ClassObjectServer* published = classObjects;
        const HRESULT suspended = published != nullptr ? published->Suspend() : S_OK;
        if (SUCCEEDED(suspended)) {
            PostThreadMessage(mainThreadId, WM_QUIT, 0, 0);
        }
    }
    return count;
}

void ServerModule::SetClassObjects(ClassObjectServer* published) { classObjects = published; }
