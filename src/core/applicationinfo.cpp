#include "applicationinfo.h"

#include "buildinfo.h"

ApplicationInfo ApplicationInfo::fromBuild()
{
    return ApplicationInfo{
        .name = QStringLiteral(TIDEWATCH_BUILD_NAME),
        .version = QStringLiteral(TIDEWATCH_BUILD_VERSION),
        .identifier = QStringLiteral(TIDEWATCH_BUILD_APP_ID),
        .updateFeedUrl = QStringLiteral(TIDEWATCH_BUILD_UPDATE_FEED_URL),
        .organization = QStringLiteral(TIDEWATCH_BUILD_ORGANIZATION),
        .tipUrl = QStringLiteral(TIDEWATCH_BUILD_TIP_URL),
        .contactUrl = QStringLiteral(TIDEWATCH_BUILD_CONTACT_URL),
    };
}
