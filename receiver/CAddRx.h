#pragma once

#include "platform/RunState.h"
#include "probe/ProbeDefaults.h"
#include "receiver/CRxSocket.h"
#include "receiver/CRxSourceList.h"
#include "receiver/CRxSourceModel.h"

#include <QWidget>

#include <memory>

namespace Ui {
class CAddRx;
}

// The receiver panel: binds a port, joins a group if asked, and keeps one list row per
// probe source.
class CAddRx : public QWidget {
    Q_OBJECT

public:
    explicit CAddRx(QWidget* parent = nullptr);
    ~CAddRx() override;

    void OnStart();
    void OnIgmpJoin();
    void OnIgmpLeave();
    bool StartReceiver();
    void StopReceiver();
    void OnPanelTick(int phase);
    // Fills the settings in, as a user would before pressing Start.
    void Configure(const std::string& group, std::uint32_t port, bool join);

    // One datagram from the socket; the bytes are valid during the call only.
    void ProcessDatagram(const std::uint8_t* bytes, std::size_t length, const std::string& address,
        std::uint16_t port);

    RunState GetState() const { return m_nState; }
    // The headings and the selected rows, a line each, cells separated by tabs.
    QString SelectedRowsText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnEmptyDatagram();
    void OnReceiveFailed(int error);
    void OnJoinRefused(int error);
    void SetUpList();
    bool ReadFields();
    void ShowFields();
    void ResizeColumns();
    void FitHeaderHeight();

    std::unique_ptr<Ui::CAddRx> ui;
    std::string m_strGroup = DEFAULT_GROUP;
    // The trap fields, the loss threshold and the latency are kept and checked for a later
    // alarm feature; nothing reads them yet.
    QString m_strTrapDest = QStringLiteral("127.0.0.1");
    QString m_strCommunity = QStringLiteral("meadow");
    std::uint32_t m_nPort = DEFAULT_PORT;
    bool m_bJoin = true;
    std::uint32_t m_nLossThreshold = 3;
    std::uint32_t m_nMaxLatency = 2;
    RunState m_nState = STATE_STOPPED;
    std::unique_ptr<CRxSocket> m_pSocket;
    CRxSourceList m_sources;
    CRxSourceModel m_model { m_sources };
};
