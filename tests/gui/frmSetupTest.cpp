#include "frmSetup.h"

#include "Controls.h"
#include "Doubles.h"
#include "MemorySettingsStore.h"

#include <QLineEdit>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kApp = QStringLiteral("Tavrin");
const QString kSection = QStringLiteral("Bulkrun");
const QString kKey = QStringLiteral("Delimiter");

class frmSetupTest : public testing::Test
{
protected:
    QLineEdit *Open()
    {
        dialog = std::make_unique<frmSetup>(v, settings, msg);
        dialog->show();
        return Control<QLineEdit>(dialog.get(), "txtDelimiter");
    }

    MemorySettingsStore settings;
    RecordingMessageBox msg;
    RunState v;
    std::unique_ptr<frmSetup> dialog;
};

TEST_F(frmSetupTest, OpeningMakesTheStoredSettingTheDelimiterAsItStands)
{
    const struct
    {
        bool stored;
        QString value;
    } cases[] = {{true, "||"}, {true, ""}, {false, ""}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value.toStdString() + (c.stored ? " stored" : " absent"));
        settings = MemorySettingsStore();
        if (c.stored)
            settings.Set(kApp, kSection, kKey, c.value);
        v.Delimiter = QStringLiteral(",");
        EXPECT_EQ(Open()->text(), c.value);
        EXPECT_EQ(v.Delimiter, c.value);
    }
}

TEST_F(frmSetupTest, SaveStoresTheTextButTheRunningDelimiterChangesOnlyAtTheNextLoad)
{
    settings.Set(kApp, kSection, kKey, QStringLiteral(";"));
    Open()->setText(QStringLiteral("|"));
    Click(dialog.get(), "cmdSave");
    EXPECT_EQ(settings.GetSetting(kApp, kSection, kKey), QStringLiteral("|"));
    EXPECT_EQ(v.Delimiter, QStringLiteral(";"));

    // The close box stores nothing.
    Open()->setText(QString());
    EXPECT_EQ(v.Delimiter, QStringLiteral("|"));
    dialog->close();
    EXPECT_EQ(settings.saved.size(), 1u);
}

TEST_F(frmSetupTest, SettingThatCannotBeStoredKeepsTheWindowOpen)
{
    settings.FailSaves();
    Open();
    Click(dialog.get(), "cmdSave");
    EXPECT_EQ(msg.shown.size(), 1u);
    EXPECT_TRUE(dialog->isVisible());
}

} // namespace
