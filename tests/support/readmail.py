#!/usr/bin/python3
"""Reads the .eml files smtpserver.py wrote in FOLDER, in their order, and prints them as JSON:
per message its envelope recipients, To, Subject, plain text and attachments (each written
beside the message as NNN-<name>, so that the test can read it with its own tools)."""
import email
import email.policy
import json
import os
import sys

folder = sys.argv[1]
messages = []
for name in sorted(n for n in os.listdir(folder) if n.endswith(".eml")):
    with open(os.path.join(folder, name), "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    entry = {"rcpt": message["X-Rcpt-To"], "to": message["To"], "from": message["From"],
             "subject": message["Subject"], "text": "", "attachments": []}
    for part in message.walk():
        if part.is_multipart():
            continue
        if part.get_filename():
            path = os.path.join(folder, name[:-4] + "-" + part.get_filename())
            with open(path, "wb") as out:
                out.write(part.get_payload(decode=True))
            entry["attachments"].append({"name": part.get_filename(),
                                         "type": part.get_content_type(), "path": path})
        elif part.get_content_type() == "text/plain":
            entry["text"] += part.get_content()
    messages.append(entry)
json.dump(messages, sys.stdout)
