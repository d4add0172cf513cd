#include "shell/MainWindow.h"

#include "commandline/CommandLine.h"
#include "commandline/RunSummary.h"
#include "meshpanel/MeshPanel.h"
#include "net/Tick.h"
#include "receiver/ReceiverPanel.h"
#include "shell/LogoArea.h"
#include "transmitter/TransmitterPanel.h"
#include "widgets/MessageBox.h"

#include <QAction>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QSaveFile>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QTextStream>
#include <QTreeView>

#include <algorithm>
#include <utility>

namespace {

// Room for a transmitter and a receiver side by side, where the screen allows it.
constexpr QSize OpeningSize(1280, 800);
// Panels' windows have a title, a system menu, and minimise and close buttons.
constexpr Qt::WindowFlags ChildFlags = Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint
    | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;

} // namespace

MainWindow::MainWindow(HostContext& host)
    : m_host(host)
    , m_mdiArea(new LogoArea(this))
{
    setWindowTitle(QGuiApplication::applicationDisplayName());
    setCentralWidget(m_mdiArea);
    createActions();
    createMenus();
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, &MainWindow::updateWindowActions);
    // Queued, so that each panel's tick waits behind what was already waiting, as a tick
    // posted to it would.
    connect(&m_ticker, &Ticker::ticked, this, &MainWindow::tickPanels, Qt::QueuedConnection);
    m_ticker.start();
    QSize size = OpeningSize;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize());
    resize(size);
}

// QWidget's destructor closes a window still shown, and the area then tells of the child
// windows it hides: by then this is no MainWindow to tell.
MainWindow::~MainWindow() { disconnect(m_mdiArea, nullptr, this, nullptr); }

void MainWindow::createActions()
{
    const auto action = [this](const QString& text, const char* name) {
        auto* created = new QAction(text, this);
        created->setObjectName(QLatin1String(name));
        return created;
    };
    m_saveAct = action(tr("&Save"), "saveAct");
    m_exitAct = action(tr("E&xit"), "exitAct");
    m_addTransmitterAct = action(tr("&Transmitter"), "addTransmitterAct");
    m_addReceiverAct = action(tr("&Receiver"), "addReceiverAct");
    m_addMeshAct = action(tr("&Mesh"), "addMeshAct");
    m_logAct = action(tr("&Log"), "logAct");
    m_snmpTrapAct = action(tr("&Send test SNMP Trap"), "snmpTrapAct");
    m_metricsAct = action(tr("Prometheus &Metrics..."), "metricsAct");
    m_nextAct = action(tr("&Next"), "nextAct");
    m_closeAct = action(tr("Cl&ose"), "closeAct");
    m_tileAct = action(tr("&Tile"), "tileAct");
    m_cascadeAct = action(tr("&Cascade"), "cascadeAct");
    m_aboutAct = action(tr("&About Lumivox Tool..."), "aboutAct");
    m_aboutQtAct = action(tr("About &Qt"), "aboutQtAct");

    m_saveAct->setShortcut(QKeySequence::Save);
    m_exitAct->setShortcut(QKeySequence::Quit);
    m_addTransmitterAct->setShortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_T);
    m_addReceiverAct->setShortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_R);
    m_addMeshAct->setShortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_M);
    m_nextAct->setShortcut(QKeySequence::NextChild);
    // A child window closes on Ctrl+F4 by its own menu; shown here, not taken twice.
    m_closeAct->setText(tr("Cl&ose") + QLatin1Char('\t')
        + QKeySequence(Qt::CTRL | Qt::Key_F4).toString(QKeySequence::NativeText));

    connect(m_saveAct, &QAction::triggered, this, &MainWindow::saveLog);
    connect(m_exitAct, &QAction::triggered, this, &QWidget::close);
    connect(m_aboutAct, &QAction::triggered, this, &MainWindow::about);
    connect(m_aboutQtAct, &QAction::triggered, this, [this] {
        showMessageBox(
            { this, QString(), tr("About Qt"), QMessageBox::NoIcon, QMessageBox::Ok, true });
    });
    connect(m_logAct, &QAction::triggered, this, &MainWindow::showLog);
    connect(m_snmpTrapAct, &QAction::triggered, this, &MainWindow::sendTestTrap);
    connect(m_metricsAct, &QAction::triggered, this, &MainWindow::askMetricsAddress);
    connect(m_addTransmitterAct, &QAction::triggered, this, &MainWindow::addTransmitter);
    connect(m_addReceiverAct, &QAction::triggered, this, &MainWindow::addReceiver);
    connect(m_addMeshAct, &QAction::triggered, this, &MainWindow::addMesh);
    connect(m_nextAct, &QAction::triggered, m_mdiArea, &QMdiArea::activateNextSubWindow);
    connect(m_closeAct, &QAction::triggered, this, &MainWindow::closeActiveWindow);
    connect(m_tileAct, &QAction::triggered, m_mdiArea, &QMdiArea::tileSubWindows);
    connect(m_cascadeAct, &QAction::triggered, m_mdiArea, &QMdiArea::cascadeSubWindows);
    updateWindowActions();
}

void MainWindow::createMenus()
{
    menuBar()->addMenu(tr("&File"))->addActions({ m_saveAct, m_exitAct });
    menuBar()
        ->addMenu(tr("&Add"))
        ->addActions({ m_addTransmitterAct, m_addReceiverAct, m_addMeshAct });
    menuBar()->addMenu(tr("&View"))->addAction(m_logAct);
    menuBar()->addMenu(tr("&Tools"))->addActions({ m_snmpTrapAct, m_metricsAct });
    m_windowMenu = menuBar()->addMenu(tr("&Window"));
    m_windowMenu->addActions({ m_nextAct, m_closeAct, m_tileAct, m_cascadeAct });
    connect(m_windowMenu, &QMenu::aboutToShow, this, &MainWindow::updateWindowMenu);
    menuBar()->addMenu(tr("&Help"))->addActions({ m_aboutAct, m_aboutQtAct });
}

TransmitterPanel* MainWindow::addTransmitter()
{
    auto* panel = addPanel<TransmitterPanel>(tr("Add Transmitter"));
    QWidget* child = panel->parentWidget();
    child->setFixedSize(child->size());
    return panel;
}

ReceiverPanel* MainWindow::addReceiver()
{
    auto* panel = addPanel<ReceiverPanel>(tr("Add Receiver"));
    // Resizable, but never smaller than it opened.
    QWidget* child = panel->parentWidget();
    child->setMinimumSize(child->size());
    return panel;
}

MeshPanel* MainWindow::addMesh()
{
    auto* panel = addPanel<MeshPanel>(tr("Add Mesh"));
    QWidget* child = panel->parentWidget();
    child->setMinimumSize(child->size());
    return panel;
}

template <class PanelWidget> PanelWidget* MainWindow::addPanel(const QString& caption)
{
    auto* panel = new PanelWidget(m_host); // its child window owns it from showChild() on
    m_panels.push_back({ panel });
    connect(panel, &PanelWidget::eventOccurred, &m_log, [this, panel](Event event) {
        event.panel = titleOf(panel);
        m_log.append(event);
    });
    connect(panel, &PanelWidget::started, this, [this, panel] {
        for (HostedPanel& hosted : m_panels)
            hosted.started = hosted.started || hosted.widget == panel;
        retitle();
    });
    showChild(panel, caption);
    return panel;
}

// Sizes a new child window around its panel, then captions, shows and activates it.
QMdiSubWindow* MainWindow::showChild(QWidget* panel, const QString& caption)
{
    QMdiSubWindow* child = m_mdiArea->addSubWindow(panel, ChildFlags);
    const QPoint topLeft = child->pos();
    child->adjustSize();
    child->move(topLeft);
    child->setWindowTitle(caption);
    child->showNormal();
    child->setFocus(Qt::OtherFocusReason);
    m_mdiArea->setActiveSubWindow(child);
    return child;
}

void MainWindow::openPanels(const Options& options)
{
    m_options = std::make_unique<Options>(options);
    for (const SendSettings& settings : options.transmitters()) {
        TransmitterPanel* panel = addTransmitter();
        panel->configure(settings);
        panel->start();
    }
    for (const ReceiverSetup& setup : options.receivers()) {
        ReceiverPanel* panel = addReceiver();
        panel->configure(setup.settings, setup.trapDestination, setup.community);
        panel->start();
    }
    if (const auto mesh = options.meshMember()) {
        MeshPanel* panel = addMesh();
        panel->configure(*mesh, options.meshKeyFile);
        panel->start();
    }
    if (!options.transmit.empty() || !options.receive.empty() || options.mesh)
        m_mdiArea->tileSubWindows();
    if (options.metrics) {
        m_metrics.setMaxSources(options.metricsMaxSources);
        listenMetrics(*options.metrics);
    }
}

void MainWindow::askMetricsAddress()
{
    bool ok = false;
    const QString address = QInputDialog::getText(this, tr("Prometheus Metrics"),
        tr("Serve metrics at [address:]port, or leave empty for none:"), QLineEdit::Normal,
        m_metrics.isListening() ? m_metricsAddress : QString::number(Defaults::metricsPort), &ok);
    if (ok)
        serveMetrics(address.trimmed());
}

bool MainWindow::serveMetrics(const QString& address)
{
    if (address.isEmpty()) {
        m_metrics.close();
        m_metricsAddress.clear();
        return true;
    }
    const auto where = parseListenAddress(address);
    if (!where) {
        showMessageBox({ this,
            tr("Enter a port from 1 to 65535, or an address and a port such as 127.0.0.1:%1.")
                .arg(Defaults::metricsPort),
            QGuiApplication::applicationDisplayName(), QMessageBox::Warning });
        return false;
    }
    if (!listenMetrics(*where))
        return false;
    m_metricsAddress = address;
    return true;
}

bool MainWindow::listenMetrics(const Endpoint& where)
{
    if (!m_metrics.listen(where)) {
        showMessageBox({ this,
            tr("Cannot serve metrics on %1: %2").arg(where.toString(), m_metrics.errorString()),
            QGuiApplication::applicationDisplayName(), QMessageBox::Warning });
        return false;
    }
    m_metricsAddress = where.toString();
    m_log.append(Event::withDetail(Event::Metrics, QString(),
        tr("Serving Prometheus metrics on port %1 at /metrics").arg(m_metrics.serverPort())));
    return true;
}

// Every question first, then every stop: a Cancel anywhere leaves every panel as it was,
// and no panel stops while another's question waits.
void MainWindow::closeEvent(QCloseEvent* event)
{
    std::vector<std::pair<HostedPanel, Panel::Ending>> endings;
    for (const HostedPanel& hosted : m_panels) {
        if (!hosted.widget)
            continue;
        const Panel::Ending ending = hosted.panel()->askToClose();
        if (ending == Panel::Ending::Cancelled)
            return event->ignore();
        endings.emplace_back(hosted, ending);
    }
    // A panel closed while a question waited is gone, and has stopped with it.
    for (const auto& [hosted, ending] : endings) {
        if (hosted.widget)
            hosted.panel()->finish(ending);
    }
    judgeRun();
    event->accept();
}

void MainWindow::endRun()
{
    for (const HostedPanel& hosted : m_panels) {
        if (hosted.widget)
            hosted.panel()->finish(Panel::Ending::Announced);
    }
    judgeRun();
    QCoreApplication::quit();
}

// A run that the command line made a test ends as a headless one does: the receivers stop,
// counting what is overdue at that moment, the summary goes to the log and the reasons it
// failed to standard error, and the exit status is the verdict. Only the panels still open
// count.
void MainWindow::judgeRun()
{
    if (!m_options || !m_options->isTest() || std::exchange(m_judged, true))
        return;
    RunSummary summary(*m_options, Tick::nowMs());
    for (const HostedPanel& hosted : m_panels) {
        if (auto* receiver = qobject_cast<ReceiverPanel*>(hosted.widget)) {
            receiver->stop();
            summary.addReceiver(receiver->receiver());
        } else if (auto* transmitter = qobject_cast<TransmitterPanel*>(hosted.widget)) {
            summary.addTransmitter(transmitter->sender());
        } else if (auto* mesh = qobject_cast<MeshPanel*>(hosted.widget)) {
            mesh->stop();
            summary.addMesh(mesh->member());
        }
    }
    QString text;
    QTextStream lines(&text);
    summary.print(lines, false);
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        m_log.append(Event::withDetail(Event::Summary, QString(), line.simplified()));
    QTextStream err(stderr);
    summary.printFailures(err);
    m_exitStatus = summary.failures().isEmpty() ? 0 : 3;
}

void MainWindow::about()
{
    QFile copyright(QStringLiteral(":/copyright"));
    copyright.open(QIODevice::ReadOnly);
    // The licence status: the copyright file's last paragraph.
    const QString licence = QString::fromUtf8(copyright.readAll())
                                .trimmed()
                                .section(QStringLiteral("\n\n"), -1)
                                .simplified();
    showMessageBox({ this,
        tr("Lumivox Tool %1\n\nTests IP multicast delivery: transmitters send numbered UDP "
           "probes to a group, and receivers show which senders reach them.\n\nRunning on Qt "
           "%2.\n\n%3\n\nThe manual: man lumivox-tool")
            .arg(CommandLine::version(), QString::fromLatin1(qVersion()), licence),
        tr("About Lumivox Tool"), QMessageBox::Information });
}

void MainWindow::collectMetrics(MetricsText& text) const
{
    text.setRefusedQueries(m_host.querierWatch().refused());
    // The oldest panel first, so that series keep their names while panels come and go.
    for (const HostedPanel& hosted : m_panels) {
        if (hosted.widget)
            hosted.panel()->collectMetrics(text);
    }
}

ReceiverPanel* MainWindow::activeReceiver() const
{
    const QMdiSubWindow* active = m_mdiArea->currentSubWindow();
    return active ? qobject_cast<ReceiverPanel*>(active->widget()) : nullptr;
}

void MainWindow::sendTestTrap()
{
    if (ReceiverPanel* receiver = activeReceiver())
        receiver->sendTestTrap();
}

// One log window, a child like the panels; asked again, it comes to the front.
void MainWindow::showLog()
{
    if (!m_logWindow) {
        auto* log = new QWidget; // its child window owns it
        auto* filterLabel = new QLabel(tr("&Filter:"), log);
        auto* filter = new QLineEdit(log);
        filter->setObjectName(QStringLiteral("logFilterEdit"));
        filter->setPlaceholderText(tr("a panel, an event or any text"));
        filterLabel->setBuddy(filter);
        // Sorted by any column, and filtered on all of them: by panel and by event alike.
        auto* shown = new QSortFilterProxyModel(log);
        shown->setSourceModel(&m_log);
        shown->setFilterKeyColumn(-1);
        shown->setFilterCaseSensitivity(Qt::CaseInsensitive);
        connect(
            filter, &QLineEdit::textChanged, shown, &QSortFilterProxyModel::setFilterFixedString);
        auto* view = new QTreeView(log);
        view->setObjectName(QStringLiteral("logView"));
        view->setModel(shown);
        view->setRootIsDecorated(false);
        view->setUniformRowHeights(true);
        view->setSortingEnabled(true);
        view->sortByColumn(-1, Qt::AscendingOrder); // as they came, until a heading is chosen
        // Every column as wide as its text, Detail with what is left.
        view->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        view->header()->setResizeContentsPrecision(0);
        view->header()->setStretchLastSection(true);
        connect(shown, &QAbstractItemModel::rowsInserted, view, &QTreeView::scrollToBottom);
        auto* filterRow = new QHBoxLayout;
        filterRow->addWidget(filterLabel);
        filterRow->addWidget(filter);
        auto* layout = new QVBoxLayout(log);
        layout->addLayout(filterRow);
        layout->addWidget(view);
        m_logWindow = m_mdiArea->addSubWindow(log);
        m_logWindow->setWindowTitle(tr("Log"));
        // As wide as the area, so that a detail reads in full beside the other columns, and at
        // its top: placed where panels overlap it least, it could open out of sight.
        m_logWindow->setGeometry(0, 0, m_mdiArea->width(), m_mdiArea->height() / 2);
    }
    m_logWindow->showNormal();
    m_mdiArea->setActiveSubWindow(m_logWindow);
}

void MainWindow::saveLog()
{
    const QString name
        = askSaveFileName(this, tr("Save Log"), tr("CSV files (*.csv)"), QStringLiteral("csv"));
    if (name.isEmpty())
        return;
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || !m_log.writeCsv(file) || !file.commit())
        showMessageBox({ this, file.errorString(), QGuiApplication::applicationDisplayName(),
            QMessageBox::Warning });
}

void MainWindow::retitle()
{
    for (const HostedPanel& hosted : m_panels) {
        if (hosted.widget && hosted.started)
            hosted.widget->parentWidget()->setWindowTitle(titleOf(hosted.widget));
    }
}

QString MainWindow::titleOf(const QWidget* panel) const
{
    // Told apart from the started panels of the same name opened before it.
    PanelNames names;
    for (const HostedPanel& hosted : m_panels) {
        const QString title = hosted.panel()->role() + QLatin1Char(' ') + hosted.panel()->name();
        if (hosted.widget == panel)
            return names.next(title);
        if (hosted.widget && hosted.started)
            names.next(title);
    }
    return {};
}

// Queued, never called directly: the panels handle the tick after the broadcast, in one
// event, not one each; a panel closed meanwhile is skipped by its guarded pointer. The
// newest panel gets each tick first.
void MainWindow::tickPanels(int phase)
{
    // A closed panel's guarded pointer is null by now.
    // In one array rather than a list: walking a hundred panels' scattered nodes four times
    // a second costs more than their ticks do.
    m_panels.erase(std::remove_if(m_panels.begin(), m_panels.end(),
                       [](const HostedPanel& hosted) { return !hosted.widget; }),
        m_panels.end());
    // The newest first; by index, as a panel opened meanwhile would move the array.
    for (std::size_t i = m_panels.size(); i-- > 0;) {
        if (m_panels[i].widget)
            m_panels[i].panel()->tick(phase);
    }
}

// Closes as the child's own close button would, after this command has returned; a running
// transmitter may still refuse.
void MainWindow::closeActiveWindow()
{
    if (QMdiSubWindow* active = m_mdiArea->currentSubWindow())
        QMetaObject::invokeMethod(active, &QWidget::close, Qt::QueuedConnection);
}

// The current child stays current while the main window itself is inactive.
void MainWindow::updateWindowActions()
{
    const bool hasChild = m_mdiArea->currentSubWindow() != nullptr;
    for (QAction* action : { m_nextAct, m_closeAct, m_tileAct, m_cascadeAct })
        action->setEnabled(hasChild);
    m_snmpTrapAct->setEnabled(activeReceiver() != nullptr);
}

// The open child windows by caption, below the Window commands; choosing one activates it.
void MainWindow::updateWindowMenu()
{
    qDeleteAll(m_windowListActions);
    m_windowListActions.clear();
    updateWindowActions();
    const QList<QMdiSubWindow*> windows = m_mdiArea->subWindowList();
    if (windows.isEmpty())
        return;
    m_windowListActions.append(m_windowMenu->addSeparator());
    for (int i = 0; i < windows.size(); ++i) {
        QMdiSubWindow* window = windows.at(i);
        // The first nine are reached by their number's key.
        const QString text = i < 9 ? tr("&%1 %2") : tr("%1 %2");
        QAction* action = m_windowMenu->addAction(text.arg(i + 1).arg(window->windowTitle()));
        action->setCheckable(true);
        action->setChecked(window == m_mdiArea->currentSubWindow());
        connect(action, &QAction::triggered, window,
            [this, window] { m_mdiArea->setActiveSubWindow(window); });
        m_windowListActions.append(action);
    }
}
