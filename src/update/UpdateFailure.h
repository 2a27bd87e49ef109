#pragma once
// Why an update failed. The scripts write a short reason into update.reason in
// the program folder ("download 7" with curl's exit code, "check 1", "program",
// "running", ...); the program restarted with the failure code reads it, removes
// it and shows the reason in Russian as the second line of its message.
#include <QString>

// The reason in Russian; empty for an empty or unknown reason.
QString DescribeUpdateFailure(const QString& reason);

// message, and when update.reason in the program folder tells why, a CR and the
// reason. The file is removed, so the reason is told once.
QString WithUpdateFailureReason(const QString& message);
