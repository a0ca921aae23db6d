// The settings object: a snapshot of the engine configuration, made by the preferences object and passed on,
// unread by the program, to the engine. Immutable, so any thread may read it.
#pragma once

#include "platform/ComObject.h"
#include "engines/EngineConfiguration.h"

namespace engines {

using namespace win32;

class EngineSettings final : public ComObject<IEngineConfiguration> {
public:
    explicit EngineSettings(EngineConfiguration configuration) : configuration(std::move(configuration)) {}

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        return QueryAs(iid, object, {IID_IEngineSettings, IID_IEngineConfiguration});
    }

    const EngineConfiguration& Configuration() const override { return configuration; }

private:
    const EngineConfiguration configuration;
};

}  // namespace engines
