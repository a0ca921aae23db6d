// Deterministic stand-ins for the translation engine and preferences under the real ProgIDs for the life of
// a test, with failures to order; they count their live objects, so tests see every reference released.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engines/EngineInterfaces.h"
#include "platform/Com.h"
#include "translate/Dunmo2000Engine.h"

namespace testing_components {

// The translation of a UTF-16 source, or an HRESULT of failure.
using TranslateFunction = std::function<win32::HRESULT(const std::u16string& source, std::u16string& out)>;

struct Behaviour {
    TranslateFunction translate = {};
    win32::HRESULT createEngine = win32::S_OK;       // failure of CoCreateInstance for the engine
    win32::HRESULT getEngineSettings = win32::S_OK;  // failure of GetEngineSettings
    bool settingsObjectMissing = false;              // GetEngineSettings succeeds without an object
    bool settingsWithoutInterface = false;           // the object does not answer IID_IEngineSettings
    win32::HRESULT setEngineSettings = win32::S_OK;  // failure of SetEngineSettings
};

struct Counters {
    std::atomic<int> engineCreateAttempts{0};
    std::atomic<int> enginesCreated{0};
    std::atomic<int> settingsHandedOver{0};
    std::atomic<int> translateCalls{0};
    std::atomic<int> liveObjects{0};
};

// Registers the stand-ins for the engine and preferences ProgIDs; the classes they replaced come back when it
// is destroyed.
class ScopedTestComponents {
public:
    explicit ScopedTestComponents(Behaviour behaviour);
    ~ScopedTestComponents();
    ScopedTestComponents(const ScopedTestComponents&) = delete;
    ScopedTestComponents& operator=(const ScopedTestComponents&) = delete;

    Behaviour& behaviour() { return *state; }
    Counters& counters() { return counterState; }

private:
    std::unique_ptr<Behaviour> state;  // fixed address: the registered factories point at it
    Counters counterState;
    std::optional<win32::ComponentClass> replacedEngine;
    std::optional<win32::ComponentClass> replacedPreferences;
};

// Joins the calling thread to the multithreaded apartment for a scope.
class ScopedApartment {
public:
    ScopedApartment() { win32::CoInitializeEx(nullptr, win32::COINIT_MULTITHREADED); }
    ~ScopedApartment() { win32::CoUninitialize(); }
    ScopedApartment(const ScopedApartment&) = delete;
    ScopedApartment& operator=(const ScopedApartment&) = delete;
};

// A translation that marks its source: "<" + source + ">"; nothing for an empty source.
win32::HRESULT Bracket(const std::u16string& source, std::u16string& out);

// A translation that is always `answer`, whatever the source.
inline TranslateFunction Answer(std::u16string answer) {
    return [answer](const std::u16string&, std::u16string& out) {
        out = answer;
        return win32::S_OK;
    };
}

// The HRESULT that Initialize throws, or S_OK when it succeeds.
inline win32::HRESULT InitializeFailure(Dunmo2000Engine& engine) {
    try {
        engine.Initialize();
    } catch (win32::HRESULT failure) {
        return failure;
    }
    return win32::S_OK;
}

}  // namespace testing_components
