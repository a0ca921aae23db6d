#include "translate/Pop3TranslateThread.h"

#include <mutex>

#include "core/CoInitializeForThread.h"
#include "mail/Email.h"
#include "pop3/ProxyAgent.h"
#include "settings/ProxyServerPreferences.h"

namespace {
constexpr win32::DWORD kDefaultMailServerPort = 110;
}

Pop3TranslateThread::Pop3TranslateThread()
{
    Start(0, nullptr, win32::INFINITE);
}

Pop3TranslateThread::~Pop3TranslateThread() = default;

bool Pop3TranslateThread::AddTranslateMail(std::unique_ptr<Email> mail)
{
    std::scoped_lock mailGuard(m_csMail);
    m_queMailPtr.push_back(std::move(mail));
    wakeEvent.Set();
    return true;
}

bool Pop3TranslateThread::IsTranslating()
{
    std::scoped_lock mailGuard(m_csMail);
    return !m_queMailPtr.empty();
}

bool Pop3TranslateThread::HaveTranslateMail()
{
    std::scoped_lock transMailGuard(m_csTransMail);
    return !m_queTransMailPtr.empty();
}

std::size_t Pop3TranslateThread::PendingMailCount()
{
    std::scoped_lock mailGuard(m_csMail);
    return m_queMailPtr.size();
}

std::unique_ptr<Pop3Agent> Pop3TranslateThread::GetPop3Agent()
{
    ProxyServerPreferences preferences;
    // A failed read keeps the address of the last successful one.
    preferences.ReadString("MailServerAddress", m_strServerAddress);
    win32::DWORD port = kDefaultMailServerPort;
    preferences.ReadDword("MailServerPort", port);
    return std::make_unique<ProxyAgent>(m_strServerAddress, port, this);
}

void Pop3TranslateThread::OnThreadBegin()
{
    CoInitializeForThread();
}

void Pop3TranslateThread::DoWork()
{
    // Captured mails stay queued until the translation batch takes them up.
}

void Pop3TranslateThread::OnThreadEnd()
{
    CoUninitializeForThread();
}
