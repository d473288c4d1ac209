#pragma once

#include <QWidget>

class QRubberBand;

namespace kvillo {

class ListPanel;

// The bar between the two lists. Dragging it shows a hatched line that follows the mouse; the
// left list takes its new width when the button is released (Esc keeps the old one).
class Splitter : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kWidth = 4;
    // The left list is never narrower than this (else it collapses to 0) and leaves the right
    // list at least this much.
    static constexpr int kMinimum = 30;

    explicit Splitter(ListPanel *panel);

signals:
    // The drag ended, with or without a new width.
    void moved();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int widthFor(int panelX) const;
    void finish(bool apply);

    ListPanel *m_panel;
    QWidget *m_line = nullptr;
    int m_grabOffset = 0;
    int m_dragWidth = -1;
};

// Holds the descriptions list on the left, the splitter, and the mails list filling the rest.
// However the width of the left list was set (a drag, the settings file, a narrower window), the
// right list keeps the least width a drag leaves it, and both lists room for a few rows.
class ListPanel : public QWidget
{
    Q_OBJECT
public:
    // The rows each list has room for at the least.
    static constexpr int kMinimumRows = 2;

    ListPanel(QWidget *left, QWidget *right, QWidget *parent = nullptr);

    Splitter *splitter() const { return m_splitter; }
    // The width the left list was given; it is shown narrower while the panel is too narrow for it.
    int leftWidth() const { return m_leftWidth; }
    void setLeftWidth(int width);
    // The left list's width as shown in a panel `panelWidth` wide, and the right list's.
    static int shownLeftWidth(int width, int panelWidth);
    int shownLeftWidth() const { return shownLeftWidth(m_leftWidth, width()); }
    int rightWidth() const;

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();

    QWidget *m_left;
    QWidget *m_right;
    Splitter *m_splitter;
    int m_leftWidth = 89;
};

} // namespace kvillo
