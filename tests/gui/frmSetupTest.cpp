#include "frmSetup.h"

#include "Controls.h"
#include "Doubles.h"
#include "MemorySettingsStore.h"

#include <QLineEdit>

#include <memory>
#include <utility>

namespace {

const QString kApp = QStringLiteral("Tavrin"), kSection = QStringLiteral("Bulkrun"), kKey = QStringLiteral("Delimiter");

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
    MainValues v;
    std::unique_ptr<frmSetup> dialog;
};

TEST_F(frmSetupTest, OpeningMakesTheStoredSettingTheDelimiterAsItStands)
{
    const std::pair<bool, QString> cases[] = {{true, "||"}, {true, ""}, {false, ""}};
    for (const auto &[stored, value] : cases) {
        SCOPED_TRACE(value.toStdString() + (stored ? " stored" : " absent"));
        settings = MemorySettingsStore();
        if (stored)
            settings.Set(kApp, kSection, kKey, value);
        v.Delimiter = QStringLiteral(",");
        EXPECT_EQ(Open()->text(), value);
        EXPECT_EQ(v.Delimiter, value);
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

    // A setting that cannot be stored keeps the window open.
    settings.FailSaves();
    Open();
    Click(dialog.get(), "cmdSave");
    EXPECT_EQ(msg.shown.size(), 1u);
    EXPECT_TRUE(dialog->isVisible());
}

} // namespace
