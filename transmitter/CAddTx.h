#pragma once

#include "CDialog.h"
#include "CTxProbeSender.h"
#include "RunState.h"

class QCheckBox;
class QComboBox;
class CIconStatic;
class QLineEdit;
class QPushButton;

// The transmitter panel: sends one probe per period, counted down on the panel tick.
class CAddTx : public CDialog, public CTxProbeSender {
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
    // Asked before the panel's window closes; false keeps it open.
    bool QueryClose();

    int GetState() const { return m_nState; }
    std::uint32_t GetCountdown() const { return m_nCountdown; }
    std::uint32_t GetSourcePort() const { return m_nSourcePort; }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    int OnPanelTick(int phase, int) override;

private:
    void OnInitDialog();
    void OnDestroy();

    QComboBox* m_cbInterface = nullptr;
    QLineEdit* m_edTTL = nullptr;
    QLineEdit* m_edPort = nullptr;
    QLineEdit* m_edFrequency = nullptr;
    QLineEdit* m_edGroup = nullptr;
    CIconStatic* m_stActivity = nullptr;
    QPushButton* m_btnPause = nullptr;
    QPushButton* m_btnStart = nullptr;
    QLineEdit* m_edPacketSize = nullptr;
    QCheckBox* m_chkRandomise = nullptr;
    std::uint32_t m_nCountdown = 0;
    std::uint32_t m_nSourcePort = 0;
    std::uint32_t m_nTTL = 16;
    int m_nState = STATE_STOPPED;
};
