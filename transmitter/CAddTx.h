#pragma once

#include "platform/RunState.h"
#include "transmitter/CTxProbeSender.h"

#include <QWidget>

#include <memory>

namespace Ui {
class CAddTx;
}

// The transmitter panel: sends one probe per period, counted down on the panel tick.
class CAddTx : public QWidget, public CTxProbeSender {
    Q_OBJECT

public:
    explicit CAddTx(QWidget* parent = nullptr);
    ~CAddTx() override;

    void OnStart();
    void OnPause();
    void OnRandomise();
    bool StartTransmitter();
    void StopTransmitter();
    void PauseTransmitter();
    void UnpauseTransmitter();
    void SetFieldsReadOnly(bool lock);
    void OnPanelTick(int phase);
    // Fills the settings in, as a user would before pressing Start.
    void Configure(const std::string& group, std::uint32_t port, std::uint32_t period,
        std::uint32_t packetSize, bool randomise, std::uint32_t ttl);
    // Asked before the panel's window closes; false keeps it open.
    bool QueryClose();

    RunState GetState() const { return m_nState; }

private:
    bool ReadFields();
    void ShowFields();
    void ShowSendResult(bool sent);

    std::unique_ptr<Ui::CAddTx> ui;
    std::uint32_t m_nSourcePort = 0;
    std::uint32_t m_nTTL = DEFAULT_TTL;
    RunState m_nState = STATE_STOPPED;
};
