"""What the POP3 side-by-side scripts share: the 20 MB test message and the
time curl takes to RETR a message from a POP3 server on loopback."""
import os
import subprocess


def twenty_megabytes():
    header = (b"From: Sender <sender@example.org>\r\nTo: bench@example.net\r\n"
              b"Subject: twenty megabytes\r\nDate: Mon, 2 Dec 2024 10:00:00 +0000\r\n\r\n")
    line = b"The quick brown fox jumps over the lazy dog, again and again and again.\r\n"
    return header + line * (20 * 1024 * 1024 // len(line))


def curl_retr_seconds(port, user, password, number=1):
    """curl's own total time (connection, log-in, RETR, QUIT), without its
    process start-up."""
    out = subprocess.run(["curl", "-sS", "-o", os.devnull, "-w", "%{time_total}",
                          "pop3://%s:%s@127.0.0.1:%d/%d" % (user, password, port, number)],
                         check=True, capture_output=True, text=True).stdout
    return float(out)
