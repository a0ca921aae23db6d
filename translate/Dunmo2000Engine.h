// The adapter of the external translation engine: creates the engine and its preferences object by ProgID,
// configures the engine from the preferences, and turns one ANSI text into one translated ANSI text with small
// negative result codes for every failure. Owned by the translate thread and used on that thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engines/EngineInterfaces.h"

class Dunmo2000Engine {
public:
    // Results of Translate other than a length.
    static constexpr std::int32_t kMissingArgument = -1;
    static constexpr std::int32_t kEngineNotCreated = -2;
    static constexpr std::int32_t kSourceTooLong = -3;
    static constexpr std::int32_t kEngineFailed = -4;
    static constexpr std::int32_t kTranslationTooLong = -5;
    // Longest source passed to the engine, in bytes.
    static constexpr std::size_t kMaxSourceLength = 0x7FFF;

    Dunmo2000Engine() = default;
    virtual ~Dunmo2000Engine();
    Dunmo2000Engine(const Dunmo2000Engine&) = delete;
    Dunmo2000Engine& operator=(const Dunmo2000Engine&) = delete;

    // Creates and configures the components when they are not there yet. Returns true; throws the failing
    // HRESULT (a win32::HRESULT by value) after releasing both components.
    bool Initialize();
    void Uninitialize();
    // Translates the NUL-terminated ANSI source into destination (capacity bytes, NUL included); returns the
    // translation's length in bytes or one of the negative results above. Serialised process-wide.
    std::int32_t Translate(const char* source, std::int32_t capacity, char* destination);
    // The same for UTF-8 text, handed to the engine without passing through the ANSI code page (which cannot
    // hold every character of a present-day mail): the translation's length in bytes, written to `translation`,
    // or kEngineNotCreated, kSourceTooLong (more than kMaxSourceLength bytes) or kEngineFailed.
    std::int32_t TranslateUtf8(std::string_view source, std::string& translation);

    // Whether both components are held (for status and tests).
    bool IsInitialized() const { return m_pEngine != nullptr && m_pPreferences != nullptr; }

private:
    void CreateComponents();
    // Calls the engine with a UTF-16 source under the caller's lock; false when the engine failed.
    bool TranslateUtf16(std::u16string_view source, std::u16string& translation);

    win32::ITranslationEngine* m_pEngine = nullptr;
    win32::IEJPreferences* m_pPreferences = nullptr;
};
