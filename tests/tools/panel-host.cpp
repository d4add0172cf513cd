// Runs the real program (main window, panels, tick) and lets a test drive it through lines
// on standard input, one command a line, answering on standard output:
//   tx <group> <port> <period> <ttl> <size|random>   open and start a transmitter
//   rx <group> <port> <join 0|1>                     open and start a receiver
//   join <rx> | leave <rx> | stop <rx> | start <rx>  press a receiver's buttons
//   txstate <tx>                                     source port and last sequence
//   rows <rx>                                        the receiver's rows, then "end"
//   stats                                            boxes, deepest box, longest stall
//   close <n>                                        close the n-th child window
//   quit                                             close the main window and exit
// Panels are numbered from 0 in the order they were opened, per kind. Every message box is
// answered after staying "open" for a while, with events running as under a modal box.

#include "platform/MessageBox.h"
#include "receiver/CAddRx.h"
#include "shell/CLogoClientWnd.h"
#include "shell/CMyApp.h"
#include "shell/CMyMDIFrameWnd.h"
#include "transmitter/CAddTx.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace {

struct Stats {
    int boxes = 0;
    int depth = 0;
    int deepest = 0;
    qint64 longestStallMs = 0;
};

Stats s_stats;

void setText(QWidget* panel, const char* id, const QString& text)
{
    panel->findChild<QLineEdit*>(QLatin1String(id))->setText(text);
}

void click(QWidget* panel, const char* id)
{
    panel->findChild<QAbstractButton*>(QLatin1String(id))->click();
}

void reply(const QString& text) { std::cout << text.toStdString() << std::endl; }

class Host : public QObject {
public:
    explicit Host(CMyApp* app)
        : m_app(app)
    {
        m_stdin = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(m_stdin, &QSocketNotifier::activated, this, &Host::readCommand);
        // A 10 ms heartbeat: the longest gap between beats is the longest the window
        // could not have answered input.
        m_heartbeat.start();
        m_beat.setInterval(10);
        connect(&m_beat, &QTimer::timeout, this, [this] {
            s_stats.longestStallMs = std::max(s_stats.longestStallMs, m_heartbeat.restart());
        });
        m_beat.start();
    }

private:
    CMyMDIFrameWnd* frame() const { return m_app->MainFrame(); }

    QWidget* open(QAction* command)
    {
        command->trigger();
        return frame()->MDIGetActive()->widget();
    }

    void readCommand()
    {
        char chunk[4096];
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0) {
            m_stdin->setEnabled(false);
            QApplication::quit();
            return;
        }
        m_input.append(chunk, int(got));
        for (int end = m_input.indexOf('\n'); end >= 0; end = m_input.indexOf('\n')) {
            const QString line = QString::fromLocal8Bit(m_input.left(end)).simplified();
            m_input.remove(0, end + 1);
            if (!line.isEmpty())
                run(line.split(QLatin1Char(' ')));
        }
    }

    CAddRx* rx(const QStringList& words) const { return m_rx.value(words.value(1).toInt()); }

    void run(const QStringList& words)
    {
        const QString verb = words.value(0);
        if (verb == QLatin1String("tx") && words.size() == 6) {
            auto* panel = qobject_cast<CAddTx*>(open(frame()->m_actAddTransmitter));
            setText(panel, "IDC_TX_GROUP", words[1]);
            setText(panel, "IDC_TX_PORT", words[2]);
            setText(panel, "IDC_TX_FREQUENCY", words[3]);
            setText(panel, "IDC_TX_TTL", words[4]);
            if (words[5] == QLatin1String("random"))
                panel->findChild<QCheckBox*>(QStringLiteral("IDC_TX_RANDOMISE"))->setChecked(true);
            else
                setText(panel, "IDC_TX_PACKET_SIZE", words[5]);
            click(panel, "IDC_TX_START");
            m_tx.append(panel);
            reply(QStringLiteral("ok tx %1 state %2").arg(m_tx.size() - 1).arg(panel->GetState()));
        } else if (verb == QLatin1String("rx") && words.size() == 4) {
            auto* panel = qobject_cast<CAddRx*>(open(frame()->m_actAddReceiver));
            setText(panel, "IDC_RX_GROUP", words[1]);
            setText(panel, "IDC_RX_PORT", words[2]);
            panel->findChild<QCheckBox*>(QStringLiteral("IDC_RX_JOIN_CHECK"))
                ->setChecked(words[3] == QLatin1String("1"));
            click(panel, "IDC_RX_START");
            m_rx.append(panel);
            reply(QStringLiteral("ok rx %1 state %2").arg(m_rx.size() - 1).arg(panel->GetState()));
        } else if ((verb == QLatin1String("join") || verb == QLatin1String("leave")
                       || verb == QLatin1String("stop") || verb == QLatin1String("start"))
            && rx(words)) {
            const char* button = verb == QLatin1String("join") ? "IDC_RX_JOIN"
                : verb == QLatin1String("leave")               ? "IDC_RX_LEAVE"
                                                               : "IDC_RX_START";
            click(rx(words), button);
            reply(QStringLiteral("ok %1 state %2").arg(verb).arg(rx(words)->GetState()));
        } else if (verb == QLatin1String("txstate") && m_tx.value(words.value(1).toInt())) {
            CAddTx* panel = m_tx.value(words.value(1).toInt());
            reply(QStringLiteral("ok txstate %1 %2")
                      .arg(panel->findChild<QLineEdit*>(QStringLiteral("IDC_TX_SRC_PORT"))->text())
                      .arg(panel->m_nLastSequence));
        } else if (verb == QLatin1String("rows") && rx(words)) {
            const QAbstractItemModel* rows
                = rx(words)->findChild<QTreeView*>(QStringLiteral("IDC_RX_SOURCES"))->model();
            for (int row = 0; row < rows->rowCount(); ++row) {
                QStringList cells;
                for (int column = 0; column < rows->columnCount(); ++column)
                    cells << rows->index(row, column).data().toString();
                reply(cells.join(QLatin1Char('\t')));
            }
            reply(QStringLiteral("end"));
        } else if (verb == QLatin1String("stats")) {
            reply(QStringLiteral("ok stats boxes %1 deepest %2 stall_ms %3")
                      .arg(s_stats.boxes)
                      .arg(s_stats.deepest)
                      .arg(s_stats.longestStallMs));
        } else if (verb == QLatin1String("close")) {
            const auto windows = frame()->MdiClient()->subWindowList();
            const int index = words.value(1).toInt();
            if (index >= 0 && index < windows.size())
                windows.at(index)->close();
            reply(QStringLiteral("ok close"));
        } else if (verb == QLatin1String("quit")) {
            frame()->close();
            reply(QStringLiteral("ok quit"));
            QApplication::quit();
        } else {
            reply(QStringLiteral("error ") + words.join(QLatin1Char(' ')));
        }
    }

    CMyApp* m_app = nullptr;
    QSocketNotifier* m_stdin = nullptr;
    QByteArray m_input;
    QList<QPointer<CAddTx>> m_tx;
    QList<QPointer<CAddRx>> m_rx;
    QElapsedTimer m_heartbeat;
    QTimer m_beat;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const int boxOpenMs = qEnvironmentVariableIntValue("PANEL_HOST_BOX_MS");
    SetMessageBoxHandler([boxOpenMs](const MessageBoxRequest& request) {
        ++s_stats.boxes;
        s_stats.deepest = std::max(s_stats.deepest, ++s_stats.depth);
        std::cerr << "box: " << request.caption.toStdString() << ": " << request.text.toStdString()
                  << std::endl;
        if (boxOpenMs > 0) {
            QEventLoop modal;
            QTimer::singleShot(boxOpenMs, &modal, &QEventLoop::quit);
            modal.exec();
        }
        --s_stats.depth;
        return QMessageBox::Yes;
    });
    CMyApp theApp;
    if (!theApp.InitInstance())
        return 1;
    Host host(&theApp);
    reply(QStringLiteral("ready"));
    return application.exec();
}
