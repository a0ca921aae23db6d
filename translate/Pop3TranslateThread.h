// The translate thread: owns the queue of captured mails waiting for translation and the queue of translated mails
// waiting to be served, and chooses the agent of each new client connection (a relay while nothing translated
// waits). Called by the connection threads (AddTranslateMail), the listening server thread (GetPop3Agent and the
// status questions) and its own thread (DoWork).
//
// Locks: m_csMail guards m_queMailPtr, m_csTransMail guards m_queTransMailPtr; the two are never held together.
// m_csTransMail may be taken while the server holds its agent lock (CreateAgent calls GetPop3Agent).
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>

#include "core/ZThinThread.h"
#include "platform/Sync.h"

class Email;
class Pop3Agent;

class Pop3TranslateThread : public ZThinThread {
public:
    // Starts the thread, which then waits for the first captured mail.
    Pop3TranslateThread();
    // The owner stops the thread (StopAndWait) before destroying it; mails still queued are destroyed.
    ~Pop3TranslateThread() override;

    // Queues a captured mail for translation and wakes the thread. Always true.
    bool AddTranslateMail(std::unique_ptr<Email> mail);
    // A mail waits for translation or is being translated.
    bool IsTranslating();
    // Translated mails wait to be served.
    bool HaveTranslateMail();
    // The agent for a new client connection, owned by the caller; null when it cannot be allocated.
    std::unique_ptr<Pop3Agent> GetPop3Agent();

    // Number of captured mails waiting, for status displays and tests.
    std::size_t PendingMailCount();

protected:
    void OnThreadBegin() override;
    void DoWork() override;
    void OnThreadEnd() override;

private:
    win32::CriticalSection m_csMail;
    std::deque<std::unique_ptr<Email>> m_queMailPtr;  // guarded by m_csMail
    win32::CriticalSection m_csTransMail;
    std::deque<std::unique_ptr<Email>> m_queTransMailPtr;  // guarded by m_csTransMail
    // Only GetPop3Agent touches it, on the listening server's thread.
    std::string m_strServerAddress;
};
