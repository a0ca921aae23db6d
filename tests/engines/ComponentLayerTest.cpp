// The component table by ProgID and class id: each failed creation gives its HRESULT and hands out no object.
#include <gtest/gtest.h>

#include "platform/Com.h"
#include "platform/ComObject.h"
#include "support/TestComponents.h"

using namespace testing_components;

namespace {

constexpr win32::CLSID kProbeClsid = {0xABCDEF01, 0x1234, 0x5678, {9, 9, 9, 9, 9, 9, 9, 9}};
constexpr win32::IID kOtherIid = {0x0BADF00D, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};

class Probe final : public win32::ComObject<win32::IUnknown> {
public:
    explicit Probe(int& live) : live(live) { ++live; }
    ~Probe() override { --live; }
    win32::HRESULT QueryInterface(win32::REFIID iid, void** object) override { return QueryAs(iid, object, {}); }

private:
    int& live;
};

TEST(ComponentTable, FailedCreationNamesItsReasonAndHandsOutNoObject) {
    int live = 0;
    win32::RegisterComponentClass({u"Test.Probe", kProbeClsid, win32::CLSCTX_LOCAL_SERVER,
                                   [&live](win32::REFIID iid, void** out) {
                                       return win32::CreateComObject<Probe>(iid, out, live);
                                   }});
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(win32::CoCreateInstance(kProbeClsid, nullptr, win32::CLSCTX_SERVER, win32::IID_IUnknown, &object),
              win32::CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);

    ScopedApartment apartment;
    Probe* outer = new Probe(live);
    const struct { const char* name; win32::CLSID clsid; win32::IUnknown* outer; win32::DWORD context;
                   win32::IID iid; win32::HRESULT expected; } cases[] = {
        {"unknown class", kOtherIid, nullptr, win32::CLSCTX_SERVER, win32::IID_IUnknown, win32::REGDB_E_CLASSNOTREG},
        {"not served in that context", kProbeClsid, nullptr, win32::CLSCTX_INPROC_SERVER, win32::IID_IUnknown,
         win32::REGDB_E_CLASSNOTREG},
        {"aggregation", kProbeClsid, outer, win32::CLSCTX_SERVER, win32::IID_IUnknown, win32::CLASS_E_NOAGGREGATION},
        {"interface not supported", kProbeClsid, nullptr, win32::CLSCTX_SERVER, kOtherIid, win32::E_NOINTERFACE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        object = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(win32::CoCreateInstance(c.clsid, c.outer, c.context, c.iid, &object), c.expected);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(win32::CoCreateInstance(kProbeClsid, nullptr, win32::CLSCTX_SERVER, win32::IID_IUnknown, nullptr),
              win32::E_POINTER);
    win32::CLSID clsid{};
    EXPECT_EQ(win32::CLSIDFromProgID(u"No.Such.Class", &clsid), win32::CO_E_CLASSSTRING);
    EXPECT_EQ(win32::CLSIDFromProgID(nullptr, &clsid), win32::E_INVALIDARG);
    outer->Release();
    EXPECT_EQ(live, 0) << "a refused interface must not leak the object";
    win32::UnregisterComponentClass(u"Test.Probe");
}

}  // namespace
