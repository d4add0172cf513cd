#pragma once

#include <QTreeView>

// The receiver's list of sources: rows of one height that change many times a second.
class SourceView : public QTreeView {
    Q_OBJECT

public:
    explicit SourceView(QWidget* parent = nullptr);

protected:
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
        const QList<int>& roles = {}) override;
};
