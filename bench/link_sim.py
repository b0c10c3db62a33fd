#!/usr/bin/env python3
"""A slow link on loopback: a TCP proxy from 127.0.0.1:PORT to one loopback UPSTREAM.

Each connection pays one round trip (the handshake) before its first bytes go on, and every
piece takes half a round trip in each direction, pieces in flight overlapping as on a real
link. One token bucket per direction caps the bandwidth that all connections share.
Memory stays bounded: pieces of 16 KiB, each direction of a connection holds what is in flight
over half a round trip at the full rate (and a few pieces more), at most 256 connections.

Usage: link_sim.py PORT UPSTREAM_HOST:PORT RTT_MS MBIT_PER_S
"""
import asyncio
import ipaddress
import socket
import sys
import time

PIECE = 16 << 10
MAX_CONNECTIONS = 256


class Bucket:
    """Tokens are bytes; a taker may drive the level below zero and waits for the debt, so
    concurrent takers are served in the order they came, each at the shared rate."""

    def __init__(self, rate):
        self.rate, self.burst = rate, 4 * PIECE
        self.level, self.last = float(PIECE), time.monotonic()

    def take(self, size):
        now = time.monotonic()
        self.level = min(self.burst, self.level + (now - self.last) * self.rate)
        self.last = now
        self.level -= size
        return max(0.0, -self.level / self.rate)


async def carry(reader, writer, bucket, open_at, half_rtt):
    """Moves one direction: paced by the bucket, delivered half a round trip later. Ends when
    the sender's end has been delivered, or with the first failure of either side."""
    queue = asyncio.Queue(4 + int(bucket.rate * half_rtt) // PIECE)

    async def pace():
        while data := await reader.read(PIECE):
            await asyncio.sleep(bucket.take(len(data)))
            await queue.put((max(time.monotonic(), open_at) + half_rtt, data))
        await queue.put((max(time.monotonic(), open_at) + half_rtt, None))

    async def deliver():
        while True:
            due, data = await queue.get()
            await asyncio.sleep(max(0.0, due - time.monotonic()))
            if data is None:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            writer.write(data)
            await writer.drain()

    await first_failure([pace(), deliver()])


async def first_failure(coroutines):
    """Runs the coroutines until all end or one fails; a failure cancels the others."""
    tasks = [asyncio.ensure_future(c) for c in coroutines]
    try:
        done, _ = await asyncio.wait(tasks, return_when=asyncio.FIRST_EXCEPTION)
        for task in done:
            task.result()
    finally:
        for task in tasks:
            task.cancel()


class Link:
    def __init__(self, upstream, rtt, rate):
        self.upstream, self.rtt = upstream, rtt
        self.down, self.up = Bucket(rate), Bucket(rate)
        self.connections = 0

    async def serve(self, client_reader, client_writer):
        if self.connections >= MAX_CONNECTIONS:
            client_writer.close()
            return
        self.connections += 1
        open_at = time.monotonic() + self.rtt
        server_writer = None
        try:
            server_reader, server_writer = await asyncio.open_connection(*self.upstream)
            await first_failure([
                carry(client_reader, server_writer, self.up, open_at, self.rtt / 2),
                carry(server_reader, client_writer, self.down, open_at, self.rtt / 2)])
        except (ConnectionError, OSError):
            pass  # one side reset: both sides close below
        finally:
            self.connections -= 1
            for writer in (client_writer, server_writer):
                if writer is not None:
                    writer.close()


def loopback_upstream(text):
    host, _, port = text.rpartition(":")
    address = socket.getaddrinfo(host, int(port), type=socket.SOCK_STREAM)[0][4][0]
    if not ipaddress.ip_address(address).is_loopback:
        sys.exit(f"link_sim: upstream {text} is not on loopback")
    return address, int(port)


async def main(port, upstream, rtt_ms, mbit):
    link = Link(loopback_upstream(upstream), rtt_ms / 1000, mbit * 1e6 / 8)
    server = await asyncio.start_server(link.serve, "127.0.0.1", port)
    print(f"link_sim: 127.0.0.1:{port} -> {upstream}, {rtt_ms} ms, {mbit} Mbit/s", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    try:
        asyncio.run(main(int(sys.argv[1]), sys.argv[2], float(sys.argv[3]), float(sys.argv[4])))
    except KeyboardInterrupt:
        pass
