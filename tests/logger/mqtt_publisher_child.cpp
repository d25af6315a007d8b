// A logger's MQTT publisher in a process of its own, for the test that kills it:
// mqtt_publisher_child URL TOPIC. Prints "started" once connected with the status "receiving".
#include "logger/MqttPublisher.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    QCoreApplication app(argc, argv);
    MqttPublisher publisher;
    MqttOptions options;
    options.url = QString::fromLocal8Bit(argv[1]);
    options.topic = QString::fromLocal8Bit(argv[2]);
    QString error;
    if (!publisher.configure(options, &error) || !publisher.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    publisher.setStatus(QStringLiteral("receiving"));
    std::printf("started\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
