#include "translate/Pop3TranslateThread.h"

#include <mutex>
#include <optional>

#include "platform/ThreadSafety.h"
#include "resources/ModuleResources.h"
#include "core/CoInitializeForThread.h"
#include "core/DebugTrace.h"
#include "mail/Email.h"
#include "mail/MailCodec.h"
#include "pop3/ProxyAgent.h"
#include "pop3/TranslateAgent.h"
#include "rules/RuleList.h"
#include "settings/MailerRulePreferences.h"
#include "settings/MailerRuleSettings.h"
#include "settings/ProxyServerPreferences.h"
#include "settings/ProxyServerSettings.h"
#include "translate/MailComposer.h"
#include "translate/ModernMailTranslator.h"

namespace {
constexpr win32::DWORD kDefaultMailServerPort = 110;
constexpr win32::DWORD kDefaultAutoRecognize = 1;
constexpr win32::DWORD kDefaultAllMail = 0;
constexpr win32::DWORD kDefaultMailLimitSize = 32;  // kilobytes
constexpr win32::DWORD kDefaultEnglishRate = 50;    // percent

// A rule setting; when absent (or of another type) its default is used and written back.
win32::DWORD ReadRuleSetting(MailerRulePreferences& preferences, const char* name, win32::DWORD fallback)
{
    win32::DWORD value = fallback;
    if (!preferences.ReadDword(name, value)) {
        value = fallback;
        preferences.WriteDword(name, fallback);
    }
    return value;
}
}  // namespace

Pop3TranslateThread::Pop3TranslateThread()
{
    Start(0, nullptr, win32::INFINITE);
}

Pop3TranslateThread::~Pop3TranslateThread() = default;

bool Pop3TranslateThread::AddTranslateMail(std::unique_ptr<Email> mail)
{
    win32::LockGuard mailGuard(m_csMail);
    m_queMailPtr.push_back(WaitingMail{std::move(mail), {}});
    wakeEvent.Set();
    return true;
}

bool Pop3TranslateThread::AddCapturedMail(CapturedMail capture)
{
    win32::LockGuard mailGuard(m_csMail);
    m_queMailPtr.push_back(WaitingMail{nullptr, std::move(capture)});
    wakeEvent.Set();
    return true;
}

bool Pop3TranslateThread::IsTranslating()
{
    win32::LockGuard mailGuard(m_csMail);
    return !m_queMailPtr.empty();
}

bool Pop3TranslateThread::HaveTranslateMail()
{
    win32::LockGuard transMailGuard(m_csTransMail);
    return !m_queTransMailPtr.empty();
}

std::size_t Pop3TranslateThread::PendingMailCount()
{
    win32::LockGuard mailGuard(m_csMail);
    return m_queMailPtr.size();
}

std::unique_ptr<Pop3Agent> Pop3TranslateThread::GetPop3Agent()
{
    std::size_t waiting = 0;
    {
        win32::LockGuard transMailGuard(m_csTransMail);
        waiting = m_queTransMailPtr.size();
    }
    const bool relayAuthentication = ProxyServerSettings::RelayAuthentication();
    if (waiting == 0) {
        ProxyServerPreferences preferences;
        // A failed read keeps the address of the last successful one.
        preferences.ReadString("MailServerAddress", m_strServerAddress);
        win32::DWORD port = kDefaultMailServerPort;
        preferences.ReadDword("MailServerPort", port);
        return std::make_unique<ProxyAgent>(m_strServerAddress, port, this, ProxyServerSettings::MailServerSecurity(),
                                            ProxyServerSettings::MailServerCAFile(), relayAuthentication);
    }
    std::vector<std::string> capabilities;
    if (relayAuthentication) {
        win32::LockGuard capabilitiesGuard(m_csCapabilities);
        capabilities = m_lstServerCapabilities;
    }
    // Every waiting translated mail goes to this one connection; the next one is relayed again.
    win32::LockGuard transMailGuard(m_csTransMail);
    auto agent = std::make_unique<TranslateAgent>(this, relayAuthentication, std::move(capabilities));
    DebugTrace("Pop3TranslateThread::GetPop3Agent : new TranslateAgent(this)\n");
    for (std::unique_ptr<Email>& mail : m_queTransMailPtr) {
        agent->AddMail(*mail);
        mail.reset();
    }
    m_queTransMailPtr.clear();
    DebugTrace("Pop3TranslateThread::GetPop3Agent : m_queTransMailPtr.clear()\n");
    return agent;
}

void Pop3TranslateThread::RememberServerCapabilities(std::vector<std::string> capabilities)
{
    win32::LockGuard capabilitiesGuard(m_csCapabilities);
    m_lstServerCapabilities = std::move(capabilities);
}

// The selection settings, read in the order the selection asks for them.
struct Pop3TranslateThread::MailSelection {
    RuleList rules;
    bool autoRecognize = false;
    bool allMail = false;
    win32::DWORD limitKilobytes = 0;

    void Read()
    {
        MailerRulePreferences preferences;
        std::string ruleText;
        preferences.ReadString("Mailer Rule", ruleText);
        rules.LoadRules(ruleText);  // the pairs read before a fault still count
        autoRecognize = ReadRuleSetting(preferences, "AutoRecognize", kDefaultAutoRecognize) != 0;
        allMail = ReadRuleSetting(preferences, "AllMail", kDefaultAllMail) != 0;
        limitKilobytes = ReadRuleSetting(preferences, "Mail Limit Size", kDefaultMailLimitSize);
    }

    // Only text/plain mails within the size limit are ever translated.
    bool Admits(std::int32_t contentType, std::uint32_t size) const
    {
        return contentType == Email::kTextPlain &&
               static_cast<std::int32_t>(size) <= static_cast<std::int32_t>(limitKilobytes * 1024);
    }
};

bool Pop3TranslateThread::IsTranslateMail(Email* mail)
{
    MailSelection selection;
    selection.Read();
    return Selects(selection, mail);
}

bool Pop3TranslateThread::Selects(MailSelection& selection, Email* mail)
{
    if (!selection.Admits(mail->contentType, mail->size)) {
        return false;
    }
    if (selection.allMail) {
        return true;
    }
    if (selection.autoRecognize && IsEnglishMail(mail)) {
        return true;
    }
    return selection.rules.Match(*mail);
}

bool Pop3TranslateThread::IsEnglishMail(Email* mail)
{
    MailerRulePreferences preferences;
    const auto englishRate =
        static_cast<std::int32_t>(ReadRuleSetting(preferences, "English Rate", kDefaultEnglishRate));
    if (mail->contentType != Email::kTextPlain) {
        return false;
    }
    if (mail->charset == Email::kIso8859_1 || mail->charset == Email::kUsAscii) {
        return true;
    }
    // The rate of a mail without body text is not defined; such a mail has nothing to translate.
    if (mail->GetBodySize() == 0) {
        return false;
    }
    std::int32_t rate = 0;
    mail->GetEnglishRate(rate);
    return rate >= englishRate;
}

bool Pop3TranslateThread::TranslateMail(Email* mail)
{
    MailComposer composer(m_engine, ModuleInstance());
    return composer.TranslateMail(mail);
}

bool Pop3TranslateThread::TranslateModern(WaitingMail& waiting)
{
    if (!waiting.mail) {
        waiting.mail = waiting.capture.BuildEmail();
        waiting.capture = CapturedMail();
    }
    MailSelection selection;
    selection.Read();
    MailerRulePreferences preferences;
    const ModernMailTranslator::Selection settings{
        selection.rules, selection.allMail, selection.autoRecognize, selection.limitKilobytes,
        static_cast<std::int32_t>(ReadRuleSetting(preferences, "English Rate", kDefaultEnglishRate))};
    return ModernMailTranslator(m_engine, ModuleInstance()).Translate(*waiting.mail, settings);
}

bool Pop3TranslateThread::Translate(WaitingMail& waiting)
{
    // Read for every mail like the other selection values, so switching it applies from the next mail on.
    if (MailerRuleSettings::ModernMail()) {
        return TranslateModern(waiting);
    }
    std::optional<MailSelection> selection;
    if (!waiting.mail) {
        // A body that decodes to itself can be ruled out by type and size before it is made into lines: for a
        // large mail or one with attachments that is most of the work.
        const CapturedMail::Outline outline = waiting.capture.Survey();
        if (BodyDecodesToItself(*outline.header, outline.bodyPlainAscii)) {
            selection.emplace().Read();
            if (!selection->Admits(outline.header->contentType, outline.header->size + outline.bodyOctets)) {
                return false;
            }
        }
        waiting.mail = waiting.capture.BuildEmail();
        waiting.capture = CapturedMail();
    }
    Email* mail = waiting.mail.get();
    if (!DecodeMailBody(*mail)) {
        return false;
    }
    if (!selection) {
        selection.emplace().Read();
    }
    return Selects(*selection, mail) && TranslateMail(mail) && MailCodec().EncodeBody(*mail);
}

void Pop3TranslateThread::OnThreadBegin()
{
    CoInitializeForThread();
    // Translation is background work: the relay's threads, which the mail client is waiting for, go first.
    win32::SetCurrentThreadPriority(win32::THREAD_PRIORITY_BELOW_NORMAL);
}

void Pop3TranslateThread::DoWork()
{
    try {
        m_engine.Initialize();
        for (;;) {
            WaitingMail* front = nullptr;
            {
                win32::LockGuard mailGuard(m_csMail);
                if (m_queMailPtr.empty()) {
                    break;
                }
                front = &m_queMailPtr.front();
            }
            const bool translated = Translate(*front);
            Email* mail = front->mail.get();
            if (translated) {
                // For a moment the mail stands in both queues; the translated queue owns it from here on.
                {
                    win32::LockGuard transMailGuard(m_csTransMail);
                    m_queTransMailPtr.emplace_back(mail);
                }
                win32::LockGuard mailGuard(m_csMail);
                static_cast<void>(front->mail.release());
                m_queMailPtr.pop_front();
            } else {
                win32::LockGuard mailGuard(m_csMail);
                m_queMailPtr.pop_front();
            }
        }
    } catch (...) {
        // Above all the engine that cannot be had: the mails stay queued for the next wake-up.
    }
    m_engine.Uninitialize();
}

void Pop3TranslateThread::OnThreadEnd()
{
    CoUninitializeForThread();
}
