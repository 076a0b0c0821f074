// The session through the real socket connection against scope-sim, which
// is started as a child process on 127.0.0.1 speaking each shipped
// driver's dialect.

#include "uut/session.h"

#include "channel/command_log.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

using namespace tarn;

namespace {

// 0.5 V/div over 4 divisions, square: 2 V peak to peak, 1 V mean, 1 kHz.
const QByteArray kSquare = "function=AMPL\namplitude=0.5\ndivisions=4\nwave=SQ\nfrequency=1000\nperiod=0.001\nduty=50\n";

class ScopeSim {
public:
    ScopeSim(const QString& driver, QStringList options, const QByteArray& state = kSquare)
    {
        if (!state.isEmpty()) {
            QFile file(dir_.filePath(QStringLiteral("state")));
            if (file.open(QIODevice::WriteOnly))
                file.write(state);
            options << QStringLiteral("--input") << file.fileName();
        }
        process_.start(QStringLiteral(TARN_SCOPE_SIM_PATH),
                       QStringList{QStringLiteral("--driver"), driver} + options);
        if (process_.waitForStarted(5000) && process_.waitForReadyRead(5000))
            resourceText_ = QString::fromLatin1(process_.readLine()).trimmed();
    }
    ~ScopeSim()
    {
        process_.kill();
        process_.waitForFinished(5000);
    }
    std::optional<UutResource> resource() const { return ParseUutResource(resourceText_, nullptr); }

private:
    QTemporaryDir dir_;
    QProcess process_;
    QString resourceText_;
};

QString driverPath(const char* name)
{
    return QStringLiteral(TARN_DRIVERS_DIR "/%1.toml").arg(QLatin1String(name));
}

UutDriver shipped(const char* name)
{
    const DriverReading reading = ReadUutDriverFile(driverPath(name));
    EXPECT_TRUE(reading.driver) << name << ": "
                                << (reading.problems.isEmpty() ? "" : reading.problems.first().message.toStdString());
    return reading.driver.value_or(UutDriver{});
}

// What the unit was sent, in order.
QStringList sent(const CommandLog& log)
{
    QStringList out;
    for (const QString& line : log.lines())
        if (const qsizetype at = line.indexOf(QLatin1String("[uut] > ")); at >= 0)
            out << line.mid(at + 8);
    return out;
}

int faults(const CommandLog& log)
{
    int n = 0;
    for (const QString& line : log.lines())
        n += line.contains(QLatin1String("[uut] [fault] ")) ? 1 : 0;
    return n;
}

TEST(UutSession, EachShippedDriverSpeaksItsDialect)
{
    struct Reading {
        MeasureKind kind;
        double value;
    };
    struct Case {
        const char* driver;
        const char* idn;
        QStringList simOptions;
        std::vector<Reading> readings;
        QStringList dialogue;
    };
    using K = MeasureKind;
    // scope-sim reads 2 % high with a 10 mV offset: 2.04 V peak to peak, 1.03 V mean.
    const Case cases[] = {
        {"keysight-infiniivision", "KEYSIGHT TECHNOLOGIES,DSO-X 1204G,CN60000001,02.12", {},
         {{K::PeakToPeak, 2.04}, {K::Mean, 1.03}},
         {"*IDN?", "*CLS", ":MEASure:VPP? CHANnel1", ":MEASure:VAVerage? DISPlay,CHANnel1"}},
        {"tektronix-tbs", "TEKTRONIX,TBS1052B,C010001,CF:91.1CT FV:v4.00", {QStringLiteral("--header")},
         {{K::Mean, 1.03}, {K::PeakToPeak, 2.04}, {K::PeakToPeak, 2.04}},
         {"*IDN?", "HEADer OFF", "MEASUrement:IMMed:TYPe MEAN", "MEASUrement:IMMed:SOUrce1 CH1",
          "MEASUrement:IMMed:VALue?", "MEASUrement:IMMed:TYPe PK2pk", "MEASUrement:IMMed:SOUrce1 CH1",
          "MEASUrement:IMMed:VALue?", "MEASUrement:IMMed:VALue?"}},
        {"rigol-ds1000z", "RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.04.SP3", {},
         {{K::Frequency, 1000.0}, {K::Period, 0.001}},
         {"*IDN?", "*CLS", ":MEASure:ITEM? FREQuency,CHANnel1", ":MEASure:ITEM? PERiod,CHANnel1"}},
        {"siglent-sds", "Siglent Technologies,SDS1104X-E,SDSMMD000001,8.2.6.1.37R9",
         {QStringLiteral("--header"), QStringLiteral("--unit")},
         {{K::PeakToPeak, 2.04}, {K::Amplitude, 2.04}},
         {"*IDN?", "CHDR OFF", "C1:PAVA? PKPK", "C1:PAVA? AMPL"}},
        {"rs-rtb", "Rohde&Schwarz,RTB2004,1333.1005k04/100001,02.300", {},
         {{K::Amplitude, 2.04}},
         {"*IDN?", "*CLS", "MEASurement1:ENABle ON", "MEASurement1:MAIN AMPLitude", "MEASurement1:SOURce CH1",
          "MEASurement1:RESult:ACTual?"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.driver);
        ScopeSim sim(driverPath(c.driver), QStringList{QStringLiteral("--idn"), QLatin1String(c.idn),
                                                       QStringLiteral("--gain"), QStringLiteral("0.02"),
                                                       QStringLiteral("--offset"), QStringLiteral("0.01")}
                                               + c.simOptions);
        const auto resource = sim.resource();
        ASSERT_TRUE(resource);
        CommandLog log;
        SystemUutConnector connector;
        int slept = 0;
        InstrumentSession session(shipped(c.driver), *resource, connector, &log, [&](int ms) { slept += ms; });
        ASSERT_FALSE(session.connect()) << log.text().toStdString();
        EXPECT_EQ(session.identity().serial, QString::fromLatin1(c.idn).split(u',').at(2));
        for (const Reading& r : c.readings) {
            const UutReading reading = session.measure(r.kind, 1);
            ASSERT_TRUE(reading.value) << reading.fault.message.toStdString();
            EXPECT_NEAR(*reading.value, r.value, 1e-6 * r.value) << MeasureKindName(r.kind).toStdString();
        }
        EXPECT_EQ(sent(log), c.dialogue) << log.text().toStdString();
        EXPECT_EQ(faults(log), 0) << log.text().toStdString();
    }
}

TEST(UutSession, SilenceNoMeasurementAndADroppedConnection)
{
    UutDriver driver = shipped("keysight-infiniivision");
    driver.timeoutMs = 250;
    const QStringList idn = {QStringLiteral("--idn"), QStringLiteral("KEYSIGHT TECHNOLOGIES,DSO-X 1204G,CN1,1")};
    SystemUutConnector connector;
    const QString vpp = QStringLiteral(":MEASure:VPP? CHANnel1");

    {   // Answers *IDN? and then falls silent: asked twice, then a timeout, and no value.
        ScopeSim sim(driverPath("keysight-infiniivision"), idn + QStringList{QStringLiteral("--silent-after"), QStringLiteral("1")});
        CommandLog log;
        InstrumentSession session(driver, *sim.resource(), connector, &log, {});
        ASSERT_FALSE(session.connect());
        const UutReading r = session.measure(MeasureKind::PeakToPeak, 1);
        EXPECT_FALSE(r.value);
        EXPECT_EQ(r.fault.kind, UutFault::Kind::Timeout);
        EXPECT_EQ(sent(log).count(vpp), 2) << log.text().toStdString();
    }
    {   // The output is off: "no measurement" twice, then that fault.
        ScopeSim sim(driverPath("keysight-infiniivision"), idn, QByteArray("function=OFF\n"));
        CommandLog log;
        InstrumentSession session(driver, *sim.resource(), connector, &log, {});
        ASSERT_FALSE(session.connect());
        const UutReading r = session.measure(MeasureKind::PeakToPeak, 1);
        EXPECT_FALSE(r.value);
        EXPECT_EQ(r.fault.kind, UutFault::Kind::NoMeasurement);
        EXPECT_EQ(sent(log).count(vpp), 2);
        // The wrong channel has no signal either.
        ScopeSim other(driverPath("keysight-infiniivision"), idn);
        InstrumentSession second(driver, *other.resource(), connector, &log, {});
        ASSERT_FALSE(second.connect());
        EXPECT_EQ(second.measure(MeasureKind::PeakToPeak, 2).fault.kind, UutFault::Kind::NoMeasurement);
        EXPECT_TRUE(second.measure(MeasureKind::PeakToPeak, 1).value);
    }
    {   // The connection closes after *IDN? and *CLS: lost, said as such; the
        // next reading connects again before it asks.
        ScopeSim sim(driverPath("keysight-infiniivision"), idn + QStringList{QStringLiteral("--close-after"), QStringLiteral("2")});
        CommandLog log;
        InstrumentSession session(driver, *sim.resource(), connector, &log, {});
        ASSERT_FALSE(session.connect());
        const UutReading r = session.measure(MeasureKind::PeakToPeak, 1);
        EXPECT_FALSE(r.value);
        EXPECT_EQ(r.fault.kind, UutFault::Kind::ConnectionLost) << r.fault.message.toStdString();
        EXPECT_FALSE(session.connected());
        session.measure(MeasureKind::PeakToPeak, 1);
        EXPECT_EQ(sent(log).count(QStringLiteral("*IDN?")), 2) << log.text().toStdString();
    }
    {   // A unit the driver is not for is refused at connecting.
        ScopeSim sim(driverPath("keysight-infiniivision"), {QStringLiteral("--idn"), QStringLiteral("RIGOL TECHNOLOGIES,DS1104Z,X,1")});
        CommandLog log;
        InstrumentSession session(driver, *sim.resource(), connector, &log, {});
        EXPECT_EQ(session.connect().kind, UutFault::Kind::WrongUnit);
        EXPECT_FALSE(session.connected());
    }
}

TEST(UutIdentity, FieldsOfTheReply)
{
    const UutIdentity id = ParseUutIdentity(QStringLiteral(" TEKTRONIX,TBS1052B,C010001,CF:91.1CT FV:v4.00\n"));
    EXPECT_EQ(id.maker, "TEKTRONIX");
    EXPECT_EQ(id.model, "TBS1052B");
    EXPECT_EQ(id.serial, "C010001");
    EXPECT_EQ(id.firmware, "CF:91.1CT FV:v4.00");
    EXPECT_EQ(ParseUutIdentity(QStringLiteral("ACME,X,1,2.0,beta")).firmware, "2.0,beta");
    EXPECT_TRUE(ParseUutIdentity(QStringLiteral("ACME")).serial.isEmpty());
    EXPECT_EQ(ParseUutIdentity(QStringLiteral("*IDN SIGLENT,SDS1202X-E,SDS1E000001,1.3")).maker, "SIGLENT");
}

} // namespace
