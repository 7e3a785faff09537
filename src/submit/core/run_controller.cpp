#include "submit/core/run_controller.h"

#include "indexnow/core/key_file_check.h"
#include "net/core/fetcher.h"
#include "platform/browser.h"
#include "platform/clock.h"
#include "platform/message_log.h"
#include "platform/text_codec.h"
#include "submit/core/answer_meaning.h"

#include <QObject>
#include <QtGlobal>
#include <algorithm>

namespace {

QString twoDigits(quint64 value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// A page whose title begins with one of these words reports a failure of its own.
bool titleReportsError(const QString& title) {
    return title.startsWith(QLatin1StringView("ERROR"), Qt::CaseInsensitive) ||
           title.startsWith(QLatin1StringView("SERVER"), Qt::CaseInsensitive);
}

} // namespace

RunController::RunController(Browser& browser, const Clock& clock, MessageLog& log, RunView& view, RunInputs& inputs)
    : m_browser(browser), m_clock(clock), m_log(log), m_view(view), m_inputs(inputs),
      m_checkReceiver(std::make_unique<QObject>()) {
    // The page's own time ends when its load ends, not at the tick that notices it.
    m_browser.setFinishedHandler([this] { m_answeredAt = m_clock.tickCount(); });
}

RunController::~RunController() {
    m_browser.setFinishedHandler({});
}

void RunController::setKeyFileFetcher(Fetcher* fetcher) {
    dropKeyFileChecks();
    m_fetcher = fetcher;
}

void RunController::submit() {
    startRun(nullptr);
}

void RunController::submitFailedAgain() {
    if (!canSubmitFailedAgain())
        return;
    const QStringList titles = m_results.failedTitles();
    startRun(&titles);
}

void RunController::submitEngines(const QStringList& titles) {
    startRun(&titles);
}

void RunController::startRun(const QStringList* titles) {
    if (Run_Active)
        return; // Submit is disabled during a run

    Clock_Start = 0;
    m_submitList = Submit_Type{}; // a refused Submit must leave no earlier list behind
    m_log.clear();
    m_view.setProgressPosition(0);

    const QStringList missing = m_inputs.validationLines();
    for (const QString& line : missing)
        m_log.appendLine(line);
    if (m_log.text().isEmpty())
        Run_Active = true;

    const bool noEngines = titles ? titles->isEmpty() : m_inputs.currentListEmpty();
    if (!noEngines && Run_Active) {
        m_submitList = titles ? m_inputs.buildSubmissionList(*titles) : m_inputs.buildSubmissionList();
        m_submitList.Count = qBound(0, m_submitList.Count, static_cast<qint32>(m_submitList.Items.size()));
    } else if (noEngines) {
        Run_Active = false;
        m_log.appendLine(QStringLiteral("[Engine Data] Please select the engine"));
    }

    if (m_submitList.Count == 0) {
        Run_Active = false;
        return;
    }

    dropKeyFileChecks();
    m_results = RunResults{};
    m_results.started = QDateTime::currentDateTime();
    m_results.profilePath = m_inputs.profilePath();
    QStringList runTitles;
    for (qint32 k = 0; k < m_submitList.Count; ++k) {
        const Submit_Data& entry = m_submitList.Items.at(k);
        runTitles.append(entry.Title);
        ResultRecord record;
        record.title = entry.Title;
        record.url = entry.Url;
        record.verdict = ResultRecord::Verdict::Pending;
        record.meaning = pendingMeaning();
        m_results.records.append(record);
    }
    m_results.sharedNotices = m_inputs.sharedGroupNotices(runTitles);
    if (m_journal)
        m_journal->runStarted(m_results, m_inputs.siteUrl());
    m_view.showResult(-1);

    Submit_Index = 0;
    m_browserStat.Wait_Start = 0;
    Submit_Now(0);
    m_view.setSubmitEnabled(false);
    m_view.setStopEnabled(true);
    m_view.setPageButtonsEnabled(false);
    m_view.setTimerActive(true);
}

void RunController::Submit_Now(qint32 Index) {
    const Submit_Data& entry = m_submitList.Items.at(Index);
    m_log.appendLine(QStringLiteral("[Engine] ") + entry.Title + QStringLiteral("..."));
    m_sentAt = m_clock.tickCount();
    m_answeredAt = 0;
    m_browser.navigate(entry.Url);
}

void RunController::recordAnswer(bool timedOut, quint32 now) {
    ResultRecord& record = m_results.records[Submit_Index];
    record.verdict = m_browserStat.OK ? ResultRecord::Verdict::Ok : ResultRecord::Verdict::Error;
    record.milliseconds = (timedOut || m_answeredAt == 0 ? now : m_answeredAt) - m_sentAt;
    const bool indexNow = isIndexNowUrl(record.url);
    if (timedOut) {
        // Whatever the browser holds belongs to a page that never finished.
        record.failure = NetworkFailure::Timeout;
        record.error = QStringLiteral("No answer within %1 seconds").arg(m_pageTimeLimit / 1000.0);
        record.meaning = answerMeaning(0, record.failure, indexNow);
    } else {
        const PageAnswer answer = m_browser.answer();
        const bool loadFailed = m_browser.loadFailed();
        record.httpStatus = answer.httpStatus;
        record.failure = answer.failure;
        // A failed load with neither a status nor a failure kind still failed on the network.
        if (loadFailed && record.httpStatus <= 0 && record.failure == NetworkFailure::None)
            record.failure = NetworkFailure::Other;
        record.error = record.httpStatus > 0 ? QString() : answer.errorText;
        record.pageTitle = m_browser.locationName();
        record.reason = cutOnCharacter(answer.text, PageAnswer::kTextLimit).toString();
        record.meaning = !loadFailed && titleReportsError(record.pageTitle)
                             ? titleErrorMeaning()
                             : answerMeaning(record.httpStatus, record.failure, indexNow);
        // The key was refused: whether the key file is there says why.
        if (indexNow && (record.httpStatus == 403 || record.httpStatus == 422))
            explainRefusedKey(Submit_Index);
    }
    if (m_journal)
        m_journal->recordJudged(record);
    m_view.showResult(Submit_Index);
}

void RunController::explainRefusedKey(qint32 index) {
    if (!m_fetcher)
        return;
    ResultRecord& record = m_results.records[index];
    const IndexNowRequestKey target = keyFileOfRequest(record.url);
    if (target.keyFile.isEmpty()) {
        record.keyFile = target.problem;
        return;
    }
    const QString id = target.keyFile.toString(QUrl::FullyEncoded) + u'\n' + target.key;
    const auto [found, isNew] = m_keyFileChecks.try_emplace(id);
    KeyFileCheckState& check = found->second;
    if (check.done) {
        record.keyFile = check.sentence;
        if (check.found)
            record.meaning = keyFileInPlaceMeaning();
        return;
    }
    record.keyFile = keyFileCheckingSentence(target.keyFile);
    check.records.append(index);
    if (!isNew)
        return;
    check.request = ::checkKeyFile(*m_fetcher, target.keyFile, target.key, m_checkReceiver.get(),
                                   [this, id](const KeyFileCheck& result) { keyFileChecked(id, result); });
}

void RunController::keyFileChecked(const QString& id, const KeyFileCheck& result) {
    const auto answered = m_keyFileChecks.find(id);
    if (answered == m_keyFileChecks.end())
        return;
    KeyFileCheckState& check = answered->second;
    check.done = true;
    check.sentence = result.sentence();
    check.found = result.outcome == KeyFileCheck::Outcome::Found;
    for (const qint32 waiting : std::as_const(check.records)) {
        m_results.records[waiting].keyFile = check.sentence;
        // The file is in place: the refusal is not about a missing file.
        if (check.found)
            m_results.records[waiting].meaning = keyFileInPlaceMeaning();
        if (m_journal)
            m_journal->recordCompleted(waiting, m_results.records.at(waiting));
        m_view.showResult(waiting);
    }
    check.records.clear();
}

bool RunController::keyFileChecksPending() const {
    return std::any_of(m_keyFileChecks.begin(), m_keyFileChecks.end(),
                       [](const auto& check) { return !check.second.done; });
}

void RunController::dropKeyFileChecks() {
    for (const auto& [id, check] : m_keyFileChecks) {
        if (!check.done && m_fetcher)
            m_fetcher->cancel(check.request);
    }
    m_keyFileChecks.clear();
}

void RunController::recordSkipped(quint32 now, bool unsent) {
    for (qint32 k = Submit_Index; k < m_results.records.size(); ++k) {
        ResultRecord& record = m_results.records[k];
        if (record.verdict != ResultRecord::Verdict::Pending)
            continue;
        const bool sent = k == Submit_Index;
        record.verdict = ResultRecord::Verdict::Skipped;
        record.meaning = skippedMeaning(sent);
        if (sent)
            record.milliseconds = now - m_sentAt;
        if (m_journal)
            m_journal->recordJudged(record);
        if (!unsent)
            break;
    }
}

void RunController::GetBrowser1Data(bool timedOut) {
    m_browserStat.OK = !timedOut && !m_browser.loadFailed() && !titleReportsError(m_browser.locationName());
    m_browserStat.Title = m_submitList.Items.at(Submit_Index).Title;
    m_browserStat.Index = Submit_Index;
}

void RunController::tick() {
    const quint32 now = m_clock.tickCount();
    if (Clock_Start == 0)
        Clock_Start = now;
    if (Run_Active)
        showElapsedTime(now - Clock_Start);
    m_view.setNextEnabled(Run_Active && Submit_Index < m_submitList.Count - 1);

    if (m_browserStat.Wait_Start == 0)
        m_browserStat.Wait_Start = now;
    const bool busy = m_browser.busy();
    if (busy && now - m_browserStat.Wait_Start < m_pageTimeLimit)
        return; // still loading
    if (!Run_Active)
        return;

    // The page is finished: loaded, or given up at the time limit.
    GetBrowser1Data(busy);
    recordAnswer(busy, now);
    m_view.setProgressPosition(100);
    m_log.replaceLine(m_browserStat.Index,
                      QStringLiteral("[Engine] ") + m_browserStat.Title +
                          (m_browserStat.OK ? QStringLiteral("...OK") : QStringLiteral("...ERROR")));
    m_browserStat.Wait_Start = 0;
    m_browser.stop();

    if (Submit_Index < m_submitList.Count - 1) {
        ++Submit_Index;
        m_view.setProgressPosition(0);
        Submit_Now(Submit_Index);
        return;
    }
    m_log.appendLine(QStringLiteral("Done"));
    Run_Active = false;
    m_results.finished = QDateTime::currentDateTime();
    if (m_journal)
        m_journal->runEnded(m_results.finished);
    showIdleControls();
    m_view.showResult(-1);
}

void RunController::stop() {
    m_view.setTimerActive(false);
    m_browser.stop();
    const bool wasActive = Run_Active;
    if (wasActive) {
        recordSkipped(m_clock.tickCount(), true);
        m_results.finished = QDateTime::currentDateTime();
        if (m_journal)
            m_journal->runEnded(m_results.finished);
    }
    Run_Active = false;
    Submit_Index = m_submitList.Count - 1;
    showIdleControls();
    m_view.setProgressPosition(100);
    if (wasActive)
        m_view.showResult(-1);
}

void RunController::next() {
    if (!Run_Active || Submit_Index >= m_submitList.Count - 1)
        return;
    recordSkipped(m_clock.tickCount(), false);
    m_view.showResult(Submit_Index);
    ++Submit_Index;
    m_browserStat.Wait_Start = 0;
    m_browser.stop();
    Submit_Now(Submit_Index);
    // The tick would do the same within a second; doing it now keeps a pointless Next from
    // being offered on the last engine.
    m_view.setNextEnabled(Submit_Index < m_submitList.Count - 1);
}

void RunController::progressChange(qint32 progress, qint32 progressMax) {
    if (progress == -1)
        return; // the page is complete; bar and label stay as they are
    if (progressMax != 0) {
        // 64-bit arithmetic: a large progress count must not overflow into a wrong percentage.
        const qint64 percent = static_cast<qint64>(progress) * 100 / progressMax;
        if (percent >= 0 && percent <= 65535)
            m_view.setProgressPosition(static_cast<int>(qMin<qint64>(percent, 100)));
    }
    m_view.setProgressLabel(QString::number(m_view.progressPosition()) + QStringLiteral(" %"));
}

void RunController::showElapsedTime(quint32 elapsedMs) {
    // Timer ticks land a few milliseconds either side of each whole second: rounded to the
    // nearest second, every tick moves the display on by exactly one.
    const quint64 seconds = (static_cast<quint64>(elapsedMs) + 500) / 1000;
    m_view.showElapsedTime(twoDigits(seconds / 3600), twoDigits(seconds / 60 % 60), twoDigits(seconds % 60));
}

void RunController::showIdleControls() {
    m_view.setTimerActive(false);
    m_view.setSubmitEnabled(true);
    m_view.setStopEnabled(false);
    m_view.setNextEnabled(false);
    m_view.setPageButtonsEnabled(true);
}
