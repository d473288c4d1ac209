#pragma once

#include "desktop/printer_canvas.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

// A printer of fixed metrics: 800 x 1000 pixels at 300 pixels per inch; characters are 10 pixels
// wide ('i' 1, 'W' 20, '#' 900: wider than the page), 42 high, in a cell of 50. Records what is
// done to it.
class FakeCanvas : public kvillo::PrinterCanvas
{
public:
    int width = 800;
    int height = 1000;
    // "font FACE HEIGHT", "draw X Y TEXT", "page", "end"
    QStringList *ops = nullptr;
    int pages = 1;
    int measures = 0;
    // Called before each draw; may throw to interrupt a job.
    std::function<void()> beforeDraw;

    explicit FakeCanvas(QStringList *record = nullptr)
        : ops(record)
    { }

    static int charWidth(char ch)
    {
        switch (ch) {
        case 'i':
            return 1;
        case 'W':
            return 20;
        case '#':
            return 900;
        default:
            return 10;
        }
    }

    int pageWidth() const override { return width; }
    int pageHeight() const override { return height; }
    int pixelsPerInchY() const override { return 300; }
    void setFont(const std::string &face, int characterHeight) override
    {
        record(QStringLiteral("font %1 %2").arg(QString::fromStdString(face)).arg(characterHeight));
    }
    Extent measure(std::string_view text) const override
    {
        ++const_cast<FakeCanvas *>(this)->measures;
        int w = 0;
        for (char ch : text)
            w += charWidth(ch);
        return {w, 42};
    }
    int cellHeight() const override { return 50; }
    int averageCharWidth() const override { return 10; }
    void draw(int x, int y, std::string_view text) override
    {
        if (beforeDraw)
            beforeDraw();
        record(QStringLiteral("draw %1 %2 %3").arg(x).arg(y).arg(QString::fromLatin1(text.data(), text.size())));
    }
    void newPage() override
    {
        // A layout that never ends would fill the spool; fail instead.
        if (++pages > 100000)
            throw std::runtime_error("endless pages");
        record(QStringLiteral("page"));
    }
    void endJob() override { record(QStringLiteral("end")); }

private:
    void record(const QString &op)
    {
        if (ops)
            *ops << op;
    }
};

// Passes everything on to a job's canvas and counts its pages.
class PageCounter : public kvillo::PrinterCanvas
{
public:
    PageCounter(std::unique_ptr<kvillo::PrinterCanvas> canvas, int &pages)
        : m_canvas(std::move(canvas))
        , m_pages(pages)
    {
        m_pages = 1;
    }
    int pageWidth() const override { return m_canvas->pageWidth(); }
    int pageHeight() const override { return m_canvas->pageHeight(); }
    int pixelsPerInchY() const override { return m_canvas->pixelsPerInchY(); }
    void setFont(const std::string &face, int height) override { m_canvas->setFont(face, height); }
    Extent measure(std::string_view text) const override { return m_canvas->measure(text); }
    int cellHeight() const override { return m_canvas->cellHeight(); }
    int averageCharWidth() const override { return m_canvas->averageCharWidth(); }
    void draw(int x, int y, std::string_view text) override { m_canvas->draw(x, y, text); }
    void newPage() override
    {
        ++m_pages;
        m_canvas->newPage();
    }
    void endJob() override { m_canvas->endJob(); }

private:
    std::unique_ptr<kvillo::PrinterCanvas> m_canvas;
    int &m_pages;
};
