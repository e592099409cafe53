#include <QObject>
#  include <QtGui/QImage>
