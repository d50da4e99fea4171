// transdae: the tool that the timetabling product starts.
#include <QApplication>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  return 0;
}
