// The translate thread: owns the queue of captured mails waiting for translation and the queue of translated mails
// waiting to be served, and chooses the agent of each new client connection (a relay while nothing translated
// waits). Called by the connection threads (AddTranslateMail, AddCapturedMail), the listening server thread
// (GetPop3Agent and the status questions) and its own thread (DoWork).
//
// Locks: m_csMail guards m_queMailPtr, m_csTransMail guards m_queTransMailPtr; the two are never held together.
// m_csTransMail may be taken while the server holds its agent lock (CreateAgent calls GetPop3Agent).
// m_csCapabilities guards m_lstServerCapabilities; it too may be taken under the server's agent lock, never together
// with the queue locks, and no lock is taken while it is held.
// A batch (DoWork) works on the front entry of m_queMailPtr outside the lock: the other threads only append to
// that queue or count it, so the front entry stays put until the batch removes it. The engine (m_engine) is made
// at the start of every batch and released at its end, on this thread only.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/ZThinThread.h"
#include "pop3/CapturedMail.h"
#include "pop3/RelayCaptures.h"
#include "platform/Sync.h"
#include "translate/Dunmo2000Engine.h"

class Email;
class Pop3Agent;

class Pop3TranslateThread : public ZThinThread, public RelayCaptures {
public:
    // Starts the thread, which then waits for the first captured mail.
    Pop3TranslateThread();
    // The owner stops the thread (StopAndWait) before destroying it; mails still queued are destroyed.
    ~Pop3TranslateThread() override;

    // Queues a captured mail for translation and wakes the thread. Always true.
    bool AddTranslateMail(std::unique_ptr<Email> mail);
    // Queues a mail as the relay captured it. Its Email is built on this thread when the batch reaches it, so
    // the relay pays only for the copy and the parsing runs at this thread's background priority.
    bool AddCapturedMail(CapturedMail capture) override;
    // A mail waits for translation or is being translated.
    bool IsTranslating();
    // Translated mails wait to be served.
    bool HaveTranslateMail();
    // The agent for a new client connection, owned by the caller; null when it cannot be allocated.
    std::unique_ptr<Pop3Agent> GetPop3Agent();
    // The capability lines of the last CAPA answer a relay passed on (nothing secret), for the translated-mail
    // session's CAPA: a client set up for OAuth2 refuses a server that does not offer it. Kept in memory only.
    void RememberServerCapabilities(std::vector<std::string> capabilities) override;

    // Number of captured mails waiting, for status displays and tests.
    std::size_t PendingMailCount();

    // The selection: text/plain, within "Mail Limit Size", and then "AllMail", English by "AutoRecognize", or
    // the rules. The settings are read anew for every mail.
    bool IsTranslateMail(Email* mail);
    // Automatic recognition: text/plain and either an ASCII or Latin-1 charset or an English rate of at least
    // "English Rate" percent.
    bool IsEnglishMail(Email* mail);
    // Composes the translated mail in place; false (mail unchanged) when the composition was interrupted.
    bool TranslateMail(Email* mail);

protected:
    void OnThreadBegin() override;
    void DoWork() override;
    void OnThreadEnd() override;

private:
    // A mail waiting for translation: either built already, or still the relay's capture.
    struct WaitingMail {
        std::unique_ptr<Email> mail;
        CapturedMail capture;
    };
    struct MailSelection;

    // Decodes, selects, translates and encodes the mail (built first if it is still a capture); false when it
    // is not to be translated or its composition failed.
    bool Translate(WaitingMail& waiting);
    // The selection of IsTranslateMail with settings already read.
    bool Selects(MailSelection& selection, Email* mail);
    // The same work on the path of present-day mail ("Modern Mail" on): the mail becomes a UTF-8 copy.
    bool TranslateModern(WaitingMail& waiting);

    Dunmo2000Engine m_engine;
    win32::CriticalSection m_csMail;
    std::deque<WaitingMail> m_queMailPtr GUARDED_BY(m_csMail);  // contents of the front entry: this thread
    win32::CriticalSection m_csTransMail;
    std::deque<std::unique_ptr<Email>> m_queTransMailPtr GUARDED_BY(m_csTransMail);
    win32::CriticalSection m_csCapabilities;
    std::vector<std::string> m_lstServerCapabilities GUARDED_BY(m_csCapabilities);
    // Only GetPop3Agent touches it, on the listening server's thread.
    std::string m_strServerAddress;
};
