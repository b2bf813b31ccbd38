// tessaly-bench-window-preview EXPORT: the window's preview, driven through its view model with
// no screen: the input set as a drop sets it, Preview Changes pressed, and the program ends once
// the counts are published. tessaly-bench-table times it as a whole process.
#include "workflow/relink_view_model.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessaly-bench-window-preview EXPORT\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    auto model = tessaly::RelinkViewModel::create(nullptr);
    int status = 1;
    QObject::connect(
        model.get(), &tessaly::RelinkViewModel::phaseChanged, &app,
        [&](tessaly::RelinkViewModel::AppPhase phase) {
            using Phase = tessaly::RelinkViewModel::AppPhase;
            if (phase == Phase::idle)
                return;
            if (phase == Phase::dryRunComplete) {
                std::printf("%lld changes\n", static_cast<long long>(model->srcsUpdated()));
                status = 0;
            } else if (model->errorMessage()) {
                std::fprintf(stderr, "%s\n", model->errorMessage()->toLocal8Bit().constData());
            }
            app.quit();
        });
    model->setInput(argv[1]);
    model->runDryRun();
    app.exec();
    return status;
}
