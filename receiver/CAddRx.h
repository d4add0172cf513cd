#pragma once

#include "CDialog.h"
#include "CRxSocket.h"
#include "CRxSocketOwner.h"
#include "CRxSourceList.h"
#include "RunState.h"

#include <QPointer>

#include <memory>

class CListCtrl;
class QCheckBox;
class CIconStatic;
class QLineEdit;
class QPushButton;

// The receiver panel: binds a port, joins a group if asked, and keeps one list row per
// probe source.
class CAddRx : public CDialog, public CRxSocketOwner {
    Q_OBJECT

public:
    explicit CAddRx(QWidget* parent = nullptr);
    ~CAddRx() override;

    void OnStart();
    void OnIgmpJoin();
    void OnIgmpLeave();
    bool StartReceiver();
    void StopReceiver();

    void ProcessDatagram(const std::uint8_t* bytes, std::size_t length, const std::string& address,
        std::uint32_t port) override;
    int MessageBox(const QString& text, const QString& caption, unsigned type) override;

    int GetState() const { return m_nState; }
    const CRxSourceList& GetSources() const { return m_sources; }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    int OnPanelTick(int phase, int) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnInitDialog();
    void OnDestroy();
    void OnSize(int cx, int cy);
    void UpdateSourceRow(CRxSource& source);
    void ResizeColumns();

    QPushButton* m_btnLeave = nullptr;
    QPushButton* m_btnJoin = nullptr;
    QPushButton* m_btnStart = nullptr;
    CIconStatic* m_stActivity = nullptr;
    CListCtrl* m_listSources = nullptr;
    QString m_strGroup = QStringLiteral("234.5.6.7");
    QString m_strTrapDest = QStringLiteral("127.0.0.1");
    QString m_strCommunity = QStringLiteral("meadow");
    std::uint32_t m_nPort = 8910;
    bool m_bJoin = true;
    std::uint32_t m_nLossThreshold = 3;
    std::uint32_t m_nMaxLatency = 2;
    int m_nState = STATE_STOPPED;
    std::unique_ptr<CRxSocket> m_pSocket;
    CRxSourceList m_sources;
    int m_nRightMargin = 0;
    int m_nBottomMargin = 0;
    // Datagrams come many to the second: format each second's time only once.
    std::time_t m_timeShown = -1;
    QString m_strTimeShown;
};
