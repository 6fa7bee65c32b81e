// Reports what the started program shows, for the smoke test of the package:
// "-plugin vorkastprobe:<file>" makes the toolkit create it at start-up. Once
// the main window is visible it writes the window title, the captions of its tabs and
// whether the working folder holds "profiles" to <file>, then ends the
// program the way closing the window would.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGenericPlugin>
#include <QMainWindow>
#include <QTabWidget>
#include <QTimer>

namespace {

class Probe : public QObject
{
public:
    explicit Probe(const QString &reportPath) : reportPath(reportPath)
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

        QString report = QStringLiteral("title: %1\n").arg(window->windowTitle());
        if (const auto *tabs = window->findChild<QTabWidget *>(QStringLiteral("main_tabplane"))) {
            for (int i = 0; i < tabs->count(); ++i)
                report += QStringLiteral("tab: %1\n").arg(tabs->tabText(i));
        }
        report += QStringLiteral("profiles folder: %1\n")
                      .arg(QDir(QStringLiteral("profiles")).exists() ? "yes" : "no");
        QFile file(reportPath);
        if (file.open(QIODevice::WriteOnly))
            file.write(report.toUtf8());
        window->close();
    }

    QString reportPath;
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
