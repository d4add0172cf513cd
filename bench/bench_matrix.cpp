// How long the mesh's matrix takes to paint every cell in sight of a maximised 1280x900
// view at 1,000 members: the median of 21 full repaints, at the default cell size and at
// a pixel a cell (the overview, every cell in sight). Run it through bench/run.

#include "meshpanel/MatrixView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    constexpr int Members = 1000;
    MeshMatrix matrix(Members);
    auto* random = QRandomGenerator::global();
    for (int m = 0; m < Members; ++m) {
        MemberReport report;
        report.name = "host-" + std::to_string(m);
        report.ttl = 16;
        matrix.heard(matrix.member(std::uint64_t(m + 1)), report, "10.0.0.1", 5000, 1000, 0);
    }
    for (int row = 0; row < Members; ++row) {
        std::vector<HeardEntry> page;
        for (int column = 0; column < Members; ++column)
            page.push_back(
                { std::uint64_t(column + 1), PairState(random->bounded(3)), 60, 0, 60, 0, 14 });
        matrix.applyPage(std::size_t(row), page, 0);
    }
    MatrixView view;
    view.resize(1280, 900);
    view.setMatrix(&matrix, [] { return std::int64_t(0); });
    view.show();
    for (const int cell : { int(MatrixView::DefaultCell), 1 }) {
        view.setCellSize(cell);
        std::vector<double> times;
        for (int i = 0; i < 21; ++i) {
            QElapsedTimer timer;
            timer.start();
            view.viewport()->grab(); // paints every cell in sight into a pixmap
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        std::sort(times.begin(), times.end());
        std::printf("a full repaint at %d px a cell, 1,000 members: %.1f ms (%.1f to %.1f)\n", cell,
            times[10], times.front(), times.back());
    }
    return 0;
}
