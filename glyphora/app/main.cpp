// glyphora: makes one explanatory picture of a sign from a video and the
// tracking file of its signer.
//
//   glyphora [--resources DIR] [VIDEO [TRACKING]]
//
// The handshape pictures of the configuration window are read from DIR, or
// from $GLYPHORA_RESOURCES, or from the "resources" folder next to the
// executable, or from ../share/glyphora/resources beside it once installed.
#include "Principal.h"

#include <QApplication>

#include <clocale>
#include <QCommandLineParser>
#include <QDir>

namespace {

QString findResources(const QString& option)
{
    if (!option.isEmpty())
        return option;
    const QString env = qEnvironmentVariable("GLYPHORA_RESOURCES");
    if (!env.isEmpty())
        return env;
    const QDir exe(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {exe.filePath("resources"), exe.filePath("../share/glyphora/resources")})
        if (QDir(candidate).exists())
            return QDir::cleanPath(candidate);
    return exe.filePath("resources");
}

} // namespace

int main(int argc, char** argv)
{
    useCompatibilityProfile();

    QApplication app(argc, argv);
    // Qt adopts the user's locale; numbers in files and on standard output
    // keep the decimal point whatever the language of the desktop.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName("glyphora");
    QApplication::setApplicationDisplayName("Glyphora");

    QCommandLineParser parser;
    parser.setApplicationDescription(QApplication::translate("main", "Image explicative d'un signe"));
    parser.addHelpOption();
    QCommandLineOption resources("resources", QApplication::translate("main", "Dossier des images de configuration"),
                                 "DIR");
    parser.addOption(resources);
    parser.addPositionalArgument("video", QApplication::translate("main", "Vidéo à ouvrir"), "[VIDEO");
    parser.addPositionalArgument("tracking", QApplication::translate("main", "Fichier de suivi"), "[TRACKING]]");
    parser.process(app);

    Principal window(findResources(parser.value(resources)));
    window.show();
    const QStringList args = parser.positionalArguments();
    if (args.size() > 2) {
        parser.showHelp(2);
    }
    if (args.size() >= 1)
        window.openVideo(args[0]);
    if (args.size() >= 2)
        window.openTracking(args[1]);
    return app.exec();
}
