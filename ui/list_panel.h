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
class ListPanel : public QWidget
{
    Q_OBJECT
public:
    ListPanel(QWidget *left, QWidget *right, QWidget *parent = nullptr);

    Splitter *splitter() const { return m_splitter; }
    int leftWidth() const { return m_leftWidth; }
    void setLeftWidth(int width);
    int rightWidth() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void place();

    QWidget *m_left;
    QWidget *m_right;
    Splitter *m_splitter;
    int m_leftWidth = 89;
};

} // namespace kvillo
