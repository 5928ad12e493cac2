"""Embedded images served by the running daemon, byte for byte, with their content types."""
import os
import unittest

import kvtest

RESOURCES = os.path.join(kvtest.SOURCE_DIR, "resources")


def header(headers, name):
    for key, value in headers:
        if key.lower() == name.lower():
            return value
    return None


class EmbeddedFilesOverHttp(unittest.TestCase):
    def test_images_come_from_the_executable_with_their_exact_bytes(self):
        cases = [
            ("/favicon.ico", "favicon.ico", "application/octet-stream"),
            ("/logo.png", "logo.png", "image/png"),
            ("/LOGO.PNG", "logo.png", "image/png"),
            ("/p.gif", "p.gif", "image/gif"),
            ("/_fff25.gif", "_fff25.gif", "image/gif"),
        ]
        # The run folder holds no image files: whatever is served comes from inside the binary.
        with kvtest.MonitorRun(config={"http": {}}) as run:
            self.assertFalse(os.path.exists(run.path("logo.png")))
            for target, name, mime in cases:
                with self.subTest(target=target):
                    with open(os.path.join(RESOURCES, name), "rb") as f:
                        expected = f.read()
                    status, headers, body = run.get(target)
                    self.assertEqual(status, 200)
                    self.assertEqual(header(headers, "Content-Type"), mime)
                    self.assertEqual(body, expected)
            status, _, _ = run.get("/tpl_missing.txt")
            self.assertEqual(status, 404)


if __name__ == "__main__":
    unittest.main()
