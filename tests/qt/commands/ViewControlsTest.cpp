// The view settings sliders in step with the model both ways, the progress
// bar of the gene cell and the table whose right-click selects its row.
#include "shell/ContextMenuTableView.h"
#include "shell/ProgressAndTextCell.h"
#include "shell/ViewController3d.h"

#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainExpressionModelListener.h"
#include "support/MemoryPreferenceStore.h"

#include <QMenu>
#include <QPainter>
#include <QSlider>
#include <QStandardItemModel>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace
{
// Posts the document's "ZoomChanged" and "ImageAlphaChanged" as the
// window does on change codes 12, 20 and 21.
class DocumentNotifications : public BrainExpressionModelListener
{
public:
    explicit DocumentNotifications(shell::ViewController3d& controller) : m_controller(controller) {}
    void ModelChanged(int code, BrainExpressionModel*, int) override
    {
        if (code == BrainExpressionModel::kZoomChanged || code == BrainExpressionModel::kViewReset)
            m_controller.notifyZoomChanged();
        else if (code == BrainExpressionModel::kImageAlphaChanged)
            m_controller.notifyImageAlphaChanged();
    }

private:
    shell::ViewController3d& m_controller;
};

class ViewControllerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(nullptr, Atlas::GetAtlas());
        model = std::make_unique<BrainExpressionModel>();
        controller.setDocument(model.get());
        model->AddListener(&notifications);
    }
    void TearDown() override { model->RemoveListener(&notifications); }

    testsupport::ScopedPreferenceStore preferences;
    shell::ViewController3d controller;
    DocumentNotifications notifications{controller};
    std::unique_ptr<BrainExpressionModel> model;
};
} // namespace

TEST_F(ViewControllerTest, SlidersAndModelFollowEachOtherWithoutWritingBackOrJumping)
{
    // Model values show truncated and are not written back.
    model->SetZoom(40.7f, true);
    EXPECT_EQ(40, controller.zoomSlider()->value());
    EXPECT_FLOAT_EQ(40.7f, model->GetZoom());
    model->SetImageAlpha(0.333f, true);
    EXPECT_EQ(33, controller.imageBlendSlider()->value());
    EXPECT_FLOAT_EQ(0.333f, model->GetImageAlpha());

    controller.zoomSlider()->setValue(55);
    EXPECT_FLOAT_EQ(55.0f, model->GetZoom());
    controller.imageBlendSlider()->setValue(50);
    EXPECT_FLOAT_EQ(0.5f, model->GetImageAlpha());

    // A drag follows the model without jumping back.
    QSlider* zoom = controller.zoomSlider();
    zoom->setSliderDown(true);
    for (int value = 60; value <= 90; value += 10)
    {
        zoom->setSliderPosition(value);
        EXPECT_EQ(value, zoom->sliderPosition());
        EXPECT_FLOAT_EQ(static_cast<float>(value), model->GetZoom());
    }
    zoom->setSliderDown(false);
    EXPECT_EQ(90, zoom->value());
}

TEST(ProgressAndTextCell, TheBarFillsTheRightHalfOnlyBetweenZeroAndOne)
{
    EXPECT_EQ(QRect(110, 5, 50, 18), shell::ProgressAndTextCell::progressRect(QRect(10, 5, 200, 20), 0.5f));
    EXPECT_TRUE(shell::ProgressAndTextCell::progressRect(QRect(10, 5, 200, 20), 0.0f).isEmpty());
    EXPECT_TRUE(shell::ProgressAndTextCell::progressRect(QRect(10, 5, 200, 20), 1.0f).isEmpty());

    // Drawn: the bar's colour from the middle for 50 pixels.
    QStandardItemModel items(1, 1);
    items.setData(items.index(0, 0), QStringLiteral("Gad1"));
    shell::ProgressAndTextCell cell;
    cell.setProgress(0.5f);
    QImage image(200, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 200, 20);
    option.palette.setColor(QPalette::Highlight, QColor(255, 0, 0));
    {
        QPainter painter(&image);
        cell.paint(&painter, option, items.index(0, 0));
    }
    EXPECT_EQ(qRgb(255, 0, 0), image.pixel(100, 5));
    EXPECT_EQ(qRgb(255, 0, 0), image.pixel(149, 5));
    EXPECT_NE(qRgb(255, 0, 0), image.pixel(150, 5));
    EXPECT_NE(qRgb(255, 0, 0), image.pixel(99, 5));
}

TEST(ContextMenuTableView, RightClickSelectsItsRowAndNoMenuBelowTheRows)
{
    QStandardItemModel items(3, 2);
    shell::ContextMenuTableView table;
    table.setModel(&items);
    table.setSelectionBehavior(QAbstractItemView::SelectRows);
    table.setSelectionMode(QAbstractItemView::ExtendedSelection);
    QMenu menu;
    table.setMenu(&menu);
    table.resize(300, 300);
    table.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));

    table.selectRow(0);
    const QPoint onRow2 = table.visualRect(items.index(2, 1)).center();
    EXPECT_EQ(&menu, table.menuForEvent(onRow2));
    const QModelIndexList rows = table.selectionModel()->selectedRows();
    ASSERT_EQ(1, rows.size());
    EXPECT_EQ(2, rows.front().row());

    const QPoint below(onRow2.x(), table.visualRect(items.index(2, 1)).bottom() + 40);
    EXPECT_EQ(nullptr, table.menuForEvent(below));
    EXPECT_TRUE(table.selectionModel()->selectedRows().isEmpty());
}
