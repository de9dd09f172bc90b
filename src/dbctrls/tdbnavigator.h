#pragma once

#include "store/datasource.h"

#include <QWidget>

#include <array>
#include <functional>

class QToolButton;

namespace kelvara {

// A row of nine buttons that move through a table and insert, delete, edit, post and refresh
// its records; each button is enabled only when its operation makes sense.
class TDBNavigator : public QWidget
{
    Q_OBJECT

public:
    enum NavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbRefresh };
    Q_ENUM(NavigateBtn)
    static constexpr int buttonCount = 9;

    explicit TDBNavigator(QWidget *parent = nullptr);
    ~TDBNavigator() override;

    DataSource *dataSource() const { return m_link.dataSource(); }
    void setDataSource(DataSource *source);

    // The button's objectName is the enumeration name ("nbFirst" ... "nbRefresh").
    QToolButton *button(NavigateBtn which) const { return m_buttons[size_t(which)]; }
    // Runs a button's operation as a click does; store errors reach the caller.
    void btnClick(NavigateBtn which);
    // The question asked before a delete, so that a window can name the record in its own
    // words; empty: "Delete record?".
    void setDeleteQuestion(std::function<QString()> question) { m_deleteQuestion = std::move(question); }
    QSize sizeHint() const override;

Q_SIGNALS:
    // After the operation of a clicked button ran without error.
    void clicked(kelvara::TDBNavigator::NavigateBtn button);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    class Link : public DataLink
    {
    public:
        explicit Link(TDBNavigator *navigator) : m_navigator(navigator) { }

    protected:
        void activeChanged() override { m_navigator->updateButtons(); }
        void dataSetChanged() override { m_navigator->updateButtons(); }
        void dataSetScrolled(int) override { m_navigator->updateButtons(); }
        void editingChanged() override { m_navigator->updateButtons(); }

    private:
        TDBNavigator *m_navigator;
    };

    void updateButtons();
    void layoutButtons();

    Link m_link{this};
    std::array<QToolButton *, buttonCount> m_buttons{};
    std::function<QString()> m_deleteQuestion;
};

}  // namespace kelvara
