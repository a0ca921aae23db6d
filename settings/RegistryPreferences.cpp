#include "settings/RegistryPreferences.h"

RegistryPreferences::~RegistryPreferences() = default;
