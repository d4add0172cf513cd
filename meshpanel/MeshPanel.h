#pragma once

#include "mesh/MeshMember.h"
#include "widgets/Panel.h"

#include <QWidget>

#include <memory>

namespace Ui {
class MeshPanel;
}

// The mesh panel: a member's form with Start and Stop, the matrix of who hears whom beside
// the list of members that need a look. Its MeshMember sends, listens and keeps the matrix.
class MeshPanel : public QWidget, public Panel {
    Q_OBJECT
    Q_INTERFACES(Panel)

public:
    explicit MeshPanel(HostContext& host, QWidget* parent = nullptr);
    ~MeshPanel() override;

    // Fills the settings in, as a user would before pressing Start; a key given is shown
    // by its file.
    void configure(const MeshSettings& settings, const QString& keyFile = {});
    bool start();
    void stop();
    bool isRunning() const { return m_member.sender().isStarted(); }
    const MeshMember& member() const { return m_member; }

    void tick(int phase) override;
    QString name() const override { return m_settings.sending.destination.toString(); }
    QString role() const override { return tr("Mesh"); }
    void collectMetrics(MetricsText& text) const override;
    void finish(Ending ending) override;

signals:
    void eventOccurred(const Event& event);
    void started();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool readFields();
    void showFields();
    void setFieldsLocked(bool locked);
    // The matrix and the triage, where what they show changed.
    void showMatrix();

    std::unique_ptr<Ui::MeshPanel> ui;
    MeshSettings m_settings;
    QString m_keyFile;
    MeshMember m_member;
    QStringList m_triageShown;
};
