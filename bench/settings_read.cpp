// What one settings read costs: every read opens the key path, re-reads and parses the hive file and closes
// it.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "settings/MailerRuleSettings.h"
#include "settings/ProxyServerSettings.h"

namespace {

// A private registry folder holding a typical hive: the product's two keys and a rule text of a few rules.
class BenchRegistry {
public:
    BenchRegistry() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vuved-bench-XXXXXX").string();
        root = mkdtemp(pattern.data()) != nullptr ? pattern : "";
        setenv("VUVED_REGISTRY_DIR", root.c_str(), 1);
        MailerRuleSettings::EnglishRate();  // creates the keys and writes the four defaults
        ProxyServerSettings::MailServerPort();
        std::string rules;
        for (int i = 0; i < 5; ++i) {
            rules +=
                "Rule\n{\n1\nSpam\n0\n0\n1\nWordContainSubjectRule\n{\nWordRule\n{\nMailRule\n{\n0\n}\n12\n" +
                win32::Utf8ToAnsi("至急ご確認") + "xx\n1\n0\n0\n}\n}\n}\n";
        }
        rules.push_back('\0');
        win32::HKEY key = nullptr;
        win32::RegCreateKeyEx(win32::HKEY_CURRENT_USER, "Software\\Norvale\\VUVed3UzeroVadave\\Mailer Rule",
                              0, nullptr, 0, win32::KEY_ALL_ACCESS, nullptr, &key, nullptr);
        win32::RegSetValueEx(key, "Mailer Rule", 0, win32::REG_SZ,
                             reinterpret_cast<const win32::BYTE*>(rules.data()),
                             static_cast<win32::DWORD>(rules.size()));
        win32::RegCloseKey(key);
    }
    ~BenchRegistry() {
        unsetenv("VUVED_REGISTRY_DIR");
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

private:
    std::string root;
};

void BM_ReadDwordSetting(benchmark::State& state) {
    BenchRegistry registry;
    for (auto _ : state) {
        benchmark::DoNotOptimize(MailerRuleSettings::EnglishRate());
    }
}
BENCHMARK(BM_ReadDwordSetting);

void BM_ReadRuleText(benchmark::State& state) {
    BenchRegistry registry;
    for (auto _ : state) {
        benchmark::DoNotOptimize(MailerRuleSettings::RuleText());
    }
}
BENCHMARK(BM_ReadRuleText);

}  // namespace
