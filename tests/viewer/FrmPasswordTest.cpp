// The password prompt the cube file shows when a cube asks for its password on open.
#include "designer/frmPassword.h"

#include <QTest>
#include <gtest/gtest.h>

TEST(FrmPassword, EnterOrOkSetsPassAndTheCloseBoxLeavesItEmpty) {
    {
        frmPassword d;
        d.show();
        QTest::keyClicks(d.txtPass, "Secret");
        QTest::keyClick(d.txtPass, Qt::Key_Return);
        EXPECT_EQ(d.Pass, "Secret");
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.result(), QDialog::Accepted);
    }
    {
        frmPassword d;
        d.show();
        d.txtPass->setText("typed");
        d.close();
        EXPECT_EQ(d.Pass, "");
    }
    {
        frmPassword d;
        d.txtPass->setText("x");
        d.cmdAceptar->click();
        EXPECT_EQ(d.Pass, "x");
        EXPECT_EQ(d.windowTitle(), "Password");
    }
}
