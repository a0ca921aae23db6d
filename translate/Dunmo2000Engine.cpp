// The engine speaks Unicode; the classic pipeline speaks the ANSI code page (932), so its texts are converted
// on their way in and out. The modern pipeline speaks UTF-8, converted to and from UTF-16 only.
#include "translate/Dunmo2000Engine.h"

#include <cstring>
#include <mutex>
#include <string>

#include "platform/CodePage.h"
#include "platform/Sync.h"

namespace {

using win32::HRESULT;

// Created on first use, destroyed at process exit: every translation of the process goes through it.
win32::CriticalSection& TranslateLock()
{
    static win32::CriticalSection lock;
    return lock;
}

void ThrowIfFailed(HRESULT result)
{
    if (win32::FAILED(result)) {
        throw result;
    }
}

// Releases a component reference at the end of a scope.
template <typename Interface>
class Released {
public:
    Released() = default;
    ~Released()
    {
        if (pointer != nullptr) {
            pointer->Release();
        }
    }
    Released(const Released&) = delete;
    Released& operator=(const Released&) = delete;

    Interface** Out() { return &pointer; }
    void** OutVoid() { return reinterpret_cast<void**>(&pointer); }
    Interface* Get() const { return pointer; }

private:
    Interface* pointer = nullptr;
};

template <typename Interface>
void CreateByProgId(const char16_t* progId, const win32::IID& iid, Interface** target)
{
    win32::CLSID clsid{};
    ThrowIfFailed(win32::CLSIDFromProgID(progId, &clsid));
    ThrowIfFailed(win32::CoCreateInstance(clsid, nullptr, win32::CLSCTX_SERVER, iid, reinterpret_cast<void**>(target)));
}

// BSTRs freed at the end of a scope.
class BstrHolder {
public:
    BstrHolder() = default;
    ~BstrHolder() { win32::SysFreeString(text); }
    BstrHolder(const BstrHolder&) = delete;
    BstrHolder& operator=(const BstrHolder&) = delete;

    win32::BSTR text = nullptr;
};

}  // namespace

Dunmo2000Engine::~Dunmo2000Engine()
{
    if (m_pPreferences != nullptr) {
        m_pPreferences->Release();
    }
    if (m_pEngine != nullptr) {
        m_pEngine->Release();
    }
}

bool Dunmo2000Engine::Initialize()
{
    try {
        CreateComponents();
    } catch (...) {
        Uninitialize();
        throw;
    }
    return true;
}

void Dunmo2000Engine::CreateComponents()
{
    if (m_pEngine == nullptr) {
        CreateByProgId(win32::kTranslationEngineProgId, win32::IID_ITranslationEngine, &m_pEngine);
    }
    // The settings are handed over only when the preferences object is made.
    if (m_pPreferences != nullptr) {
        return;
    }
    CreateByProgId(win32::kEJPreferencesProgId, win32::IID_IEJPreferences, &m_pPreferences);

    Released<win32::IUnknown> settingsObject;
    ThrowIfFailed(m_pPreferences->GetEngineSettings(settingsObject.Out()));
    Released<win32::IEngineSettings> settings;
    if (settingsObject.Get() != nullptr) {
        settingsObject.Get()->QueryInterface(win32::IID_IEngineSettings, settings.OutVoid());
    }
    if (settings.Get() == nullptr) {
        throw win32::E_OUTOFMEMORY;
    }
    ThrowIfFailed(m_pEngine->SetEngineSettings(settings.Get()));
}

void Dunmo2000Engine::Uninitialize()
{
    if (m_pEngine != nullptr) {
        m_pEngine->Release();
        m_pEngine = nullptr;
    }
    if (m_pPreferences != nullptr) {
        m_pPreferences->Release();
        m_pPreferences = nullptr;
    }
}

std::int32_t Dunmo2000Engine::Translate(const char* source, std::int32_t capacity, char* destination)
{
    std::scoped_lock translateGuard(TranslateLock());
    if (source == nullptr || destination == nullptr) {
        return kMissingArgument;
    }
    if (m_pEngine == nullptr) {
        return kEngineNotCreated;
    }
    const std::size_t sourceLength = std::strlen(source);
    if (sourceLength > kMaxSourceLength) {
        return kSourceTooLong;
    }
    std::u16string translation;
    if (!TranslateUtf16(win32::AnsiToUtf16(std::string_view(source, sourceLength)), translation)) {
        return kEngineFailed;
    }
    const std::string ansi = win32::Utf16ToAnsi(translation);
    if (capacity < 0 || ansi.size() >= static_cast<std::size_t>(capacity)) {
        return kTranslationTooLong;
    }
    std::memcpy(destination, ansi.c_str(), ansi.size() + 1);
    return static_cast<std::int32_t>(ansi.size());
}

std::int32_t Dunmo2000Engine::TranslateUtf8(std::string_view source, std::string& translation)
{
    std::scoped_lock translateGuard(TranslateLock());
    if (m_pEngine == nullptr) {
        return kEngineNotCreated;
    }
    if (source.size() > kMaxSourceLength) {
        return kSourceTooLong;
    }
    std::u16string unicode;
    if (!TranslateUtf16(win32::Utf8ToUtf16(source), unicode)) {
        return kEngineFailed;
    }
    translation = win32::Utf16ToUtf8(unicode);
    return static_cast<std::int32_t>(translation.size());
}

bool Dunmo2000Engine::TranslateUtf16(std::u16string_view source, std::u16string& translation)
{
    BstrHolder sourceText;
    sourceText.text = win32::SysAllocStringLen(source.data(), static_cast<win32::UINT>(source.size()));
    BstrHolder result;
    if (win32::FAILED(m_pEngine->TranslateText(sourceText.text, &result.text))) {
        return false;
    }
    // A successful call without a text is an empty translation.
    translation.assign(result.text == nullptr ? u"" : result.text, win32::SysStringLen(result.text));
    return true;
}
