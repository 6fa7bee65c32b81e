// Reports what the started program shows, for the tests of the package:
// "-plugin vorkastprobe:<file>" makes the toolkit create it at start-up. Once
// the main window is visible it writes the window title, the captions of its tabs and
// whether the working folder holds "profiles" to <file>, then ends the
// program the way closing the window would.
//
// "-plugin vorkastprobe:<file>|<slot>,<slot>..." first runs those slots of the
// window, as their buttons would, lets telemetry flow for a second and adds
// what the status bar said last.
//
// "-plugin vorkastprobe:<file>|watch" instead writes the two controller tabs'
// captions and then every change of them or of the status bar to <file> as it
// happens, for whoever plugs controllers in and out meanwhile, and ends the
// program once <file>.stop exists (or after two minutes).

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGenericPlugin>
#include <QMainWindow>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include <memory>

namespace {

class Probe : public QObject
{
public:
    explicit Probe(const QString &argument)
        : reportPath(argument.section(QLatin1Char('|'), 0, 0))
        , actions(argument.section(QLatin1Char('|'), 1).split(QLatin1Char(','), Qt::SkipEmptyParts))
    {
        connect(&timer, &QTimer::timeout, this, &Probe::look);
        // Created while the application object is built, before its event
        // dispatcher exists: the timer starts once events flow.
        QMetaObject::invokeMethod(
            &timer, [this] { timer.start(200); }, Qt::QueuedConnection);
    }

private:
    void look()
    {
        QMainWindow *window = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *main = qobject_cast<QMainWindow *>(widget); main && main->isVisible())
                window = main;
        }
        if (!window)
            return;
        timer.stop();
        if (actions == QStringList{QStringLiteral("watch")}) {
            watch(window);
            return;
        }
        QString said;
        if (!actions.isEmpty()) {
            if (QStatusBar *bar = window->statusBar())
                connect(bar, &QStatusBar::messageChanged, this, [&said](const QString &text) {
                    if (!text.isEmpty())
                        said = text;
                });
            for (const QString &action : actions)
                QMetaObject::invokeMethod(window, action.toLatin1().constData());
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < 1000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }

        QString report = QStringLiteral("title: %1\n").arg(window->windowTitle());
        if (const auto *tabs = window->findChild<QTabWidget *>(QStringLiteral("main_tabplane"))) {
            for (int i = 0; i < tabs->count(); ++i)
                report += QStringLiteral("tab: %1\n").arg(tabs->tabText(i));
        }
        report += QStringLiteral("profiles folder: %1\n")
                      .arg(QDir(QStringLiteral("profiles")).exists() ? "yes" : "no");
        if (!actions.isEmpty())
            report += QStringLiteral("status: %1\n").arg(said);
        QFile file(reportPath);
        if (file.open(QIODevice::WriteOnly))
            file.write(report.toUtf8());
        window->close();
    }

    void watch(QMainWindow *window)
    {
        auto *tabs = window->findChild<QTabWidget *>(QStringLiteral("main_tabplane"));
        auto *file = new QFile(reportPath, this);
        if (!tabs || !file->open(QIODevice::WriteOnly | QIODevice::Text)) {
            window->close();
            return;
        }
        const auto note = [file](const QString &line) {
            file->write((line + QLatin1Char('\n')).toUtf8());
            file->flush();
        };
        auto captions = std::make_shared<QStringList>();
        const auto lookAtTabs = [=] {
            for (int i = 0; i < 2; ++i) {
                const QString caption = tabs->tabText(i);
                if (captions->size() <= i)
                    captions->append(QString());
                if ((*captions)[i] != caption) {
                    (*captions)[i] = caption;
                    note(QStringLiteral("tab%1: %2").arg(i).arg(caption));
                }
            }
        };
        // Whether the system's device notifications reach the window, or it
        // has to look for controllers every second.
        if (const QObject *watcher = window->findChild<QObject *>(QStringLiteral("controller_watcher")))
            note(QStringLiteral("watching: %1").arg(watcher->property("watching").toBool() ? "yes" : "no"));
        lookAtTabs();
        connect(window->statusBar(), &QStatusBar::messageChanged, this, [note](const QString &text) {
            if (!text.isEmpty())
                note(QStringLiteral("status: %1").arg(text));
        });
        auto *poll = new QTimer(this);
        auto *clock = new QElapsedTimer;
        clock->start();
        connect(poll, &QTimer::timeout, this, [=, this] {
            lookAtTabs();
            if (QFile::exists(reportPath + QStringLiteral(".stop")) || clock->elapsed() > 120000) {
                poll->stop();
                delete clock;
                window->close();
            }
        });
        poll->start(50);
    }

    QString reportPath;
    QStringList actions;
    QTimer timer;
};

} // namespace

class ProbePlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "probe.json")

public:
    QObject *create(const QString &, const QString &argument) override
    {
        return new Probe(argument);
    }
};

#include "probe.moc"
